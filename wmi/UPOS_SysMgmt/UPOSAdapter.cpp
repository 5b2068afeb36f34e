#include "UPOSAdapter.h"

#include "UPOSLog.h"

namespace {
const char* const kEnumerate = "enumerateInstances";
const char* const kEnumerateNames = "enumerateInstanceNames";
const char* const kGetInstance = "getInstance";
} // namespace

UPOSInstanceList UPOSAdapter::exchange(const std::string& type, const std::string& cls,
                                       const std::string& id, int* retCode) {
    UPOSXMLAdapter xml;
    std::string request;
    xml.toXML(cls, "request", type, id, &request);
    if (type == kEnumerate) {
        UPOSLog::Line("<<UPOSAdapter::enumerateInstances>>: Invoking request to Java code");
        UPOSLog::Line("<<Request>>:" + request);
    } else if (type == kEnumerateNames) {
        UPOSLog::Line("<<UPOSAdapter::enumerateInstanceNames>>: Invoking request");
        UPOSLog::Line("<<Request>>:" + request);
    } else {
        UPOSLog::Line("<<UPOSAdapter::getInstance>>: Invoking request");
        UPOSLog::Line("<<Request>>:");
        UPOSLog::Line(request);
    }
    const std::string reply = xml.sendRequest(request);
    if (type == kEnumerate) UPOSLog::Line("<<UPOSAdapter::enumerateInstances>>: got response, converting from XML");
    const int result = xml.fromXML(reply);
    if (retCode) *retCode = result;
    if (type == kEnumerate) {
        UPOSLog::Line("<<UPOSAdapter::enumerateInstances>>: Returning request");
        UPOSLog::Line(reply);
    }
    return xml.getInstances();
}

void UPOSAdapter::EnumerateInstances(std::string cls, int* retCode) {
    int result = -1;
    UPOSInstanceList list = exchange(kEnumerate, cls, "", &result);
    if (result == 0) vinst = std::move(list);
    if (retCode) *retCode = result;
}

void UPOSAdapter::EnumerateInstanceNames(std::string cls, int* retCode) {
    int result = -1;
    UPOSInstanceList list = exchange(kEnumerateNames, cls, "", &result);
    if (result == 0) vinst = std::move(list);
    if (retCode) *retCode = result;
}

void UPOSAdapter::getInstance(std::string cls, std::string id) {
    int result = -1;
    vinst = exchange(kGetInstance, cls, id, &result);
}

UPOSInstance UPOSAdapter::getLocalInstance(int n) {
    tInstance = n >= 0 && n < getNumberOfInstances() ? vinst[n] : UPOSInstance();
    return tInstance;
}

int UPOSAdapter::getNumOfPropsInInst(int n) const {
    if (n < 0 || n >= getNumberOfInstances()) return 0;
    return static_cast<int>(vinst[n].size());
}

UPOSField UPOSAdapter::getPropertyInInstance(int n, int p) {
    tProperty = p >= 0 && p < getNumOfPropsInInst(n) ? vinst[n][p] : UPOSField();
    return tProperty;
}

std::string UPOSAdapter::getFieldInProperty(int n, int p, int f) {
    if (p < 0 || p >= getNumOfPropsInInst(n) || f < 0 || f >= static_cast<int>(vinst[n][p].size()))
        return "";
    return vinst[n][p][f];
}

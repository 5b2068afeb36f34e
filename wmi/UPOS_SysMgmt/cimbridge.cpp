#include "cimbridge.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "UPOSAdapter.h"

#define BRIDGE_EXPORT __attribute__((visibility("default")))

extern "C" {
BRIDGE_EXPORT UPOSAdapter* adapter = nullptr;
BRIDGE_EXPORT char* ptrName = nullptr;
BRIDGE_EXPORT char* ptrType = nullptr;
BRIDGE_EXPORT char* ptrValue = nullptr;
BRIDGE_EXPORT int rc = 0;
BRIDGE_EXPORT int instCnt = 0;
BRIDGE_EXPORT int numInstances = 0;
}

namespace {

// A new request replaces the current result: the old one is freed first.
UPOSAdapter* newResult() {
    delete adapter;
    adapter = new UPOSAdapter;
    instCnt = 0;
    return adapter;
}

void copyText(char*& target, const std::string& text) {
    char* grown = static_cast<char*>(std::realloc(target, text.size() + 1));
    if (!grown) return;
    target = grown;
    std::memcpy(target, text.c_str(), text.size() + 1);
}

} // namespace

extern "C" {

BRIDGE_EXPORT void enumerateInstances(char* className, int* numInst) {
    UPOSAdapter* a = newResult();
    int result = -1;
    a->EnumerateInstances(className ? className : "", &result);
    rc = result;
    if (numInst) *numInst = result == 0 ? a->getNumberOfInstances() : 0;
}

BRIDGE_EXPORT void enumerateInstanceNames(char* className, int* numInst) {
    UPOSAdapter* a = newResult();
    int result = -1;
    a->EnumerateInstanceNames(className ? className : "", &result);
    rc = result;
    if (numInst) *numInst = result == 0 ? a->getNumberOfInstances() : 0;
}

BRIDGE_EXPORT void getInstance(char* className, char* keyName, int* numInst) {
    UPOSAdapter* a = newResult();
    a->getInstance(className ? className : "", keyName ? keyName : "");
    if (numInst) *numInst = a->getNumberOfInstances();
}

BRIDGE_EXPORT int getInstanceField(unsigned instNum, unsigned propNum) {
    // No current result (never requested, or ended) has no fields.
    if (!adapter || adapter->getNumberOfInstances() == 0 || instNum > 0x7FFFFFFFu ||
        propNum >= static_cast<unsigned>(adapter->getNumOfPropsInInst(static_cast<int>(instNum)))) {
        rc = -1;
        return rc;
    }
    const int n = static_cast<int>(instNum), p = static_cast<int>(propNum);
    copyText(ptrName, adapter->getFieldInProperty(n, p, 0));
    copyText(ptrType, adapter->getFieldInProperty(n, p, 1));
    copyText(ptrValue, adapter->getFieldInProperty(n, p, 2));
    rc = 0;
    return rc;
}

BRIDGE_EXPORT void endInstanceField(void) {}

BRIDGE_EXPORT void endEnumInstances(void) {
    delete adapter;
    adapter = nullptr;
}

} // extern "C"

// One request to the management service and its result: the instance list, read by index.
#pragma once

#include <string>

#include "UPOSXMLAdapter.h"

class UPOSAdapter {
public:
    // One exchange each; *retCode gets fromXML's result and the instances are taken only
    // when it is 0.
    void EnumerateInstances(std::string className, int* retCode);
    void EnumerateInstanceNames(std::string className, int* retCode);
    // One exchange; the parsed instances are taken whatever the result.
    void getInstance(std::string className, std::string id);

    int getNumberOfInstances() const { return static_cast<int>(vinst.size()); }
    UPOSInstanceList getResults() const { return vinst; }
    UPOSInstance getLocalInstance(int n);
    // 0 when n is not below the number of instances.
    int getNumOfPropsInInst(int n) const;
    UPOSField getPropertyInInstance(int n, int p);
    // Text f (0 name, 1 type, 2 value) of field p of instance n.
    std::string getFieldInProperty(int n, int p, int f);

    std::string Id;
    std::string className;

private:
    // Runs one request of `type`; *retCode gets fromXML's result.
    UPOSInstanceList exchange(const std::string& type, const std::string& cls, const std::string& id,
                              int* retCode);

    UPOSInstanceList vinst;
    UPOSInstance tInstance;
    UPOSField tProperty;
};

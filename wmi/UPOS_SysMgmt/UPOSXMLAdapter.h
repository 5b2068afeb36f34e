// The XML side of one request to the management service: builds the request document, runs
// the TCP exchange, and turns the reply into the instance list (QORVEL devices and OEM
// scanners and scales only).
#pragma once

#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

// A field: name, type, value. An instance: its fields. The instance list: the instances.
using UPOSField = std::vector<std::string>;
using UPOSInstance = std::vector<UPOSField>;
using UPOSInstanceList = std::vector<UPOSInstance>;

struct EventStruct {
    std::string DeviceID;
    std::string eventType;
    std::string className;
    std::string codename;
};

// Result of the last toXML; the namespace flag is not used by the exchange.
extern int errorCode;
extern bool doNamespaces;

class UPOSXMLAdapter {
public:
    // The request document `request` with `type`, `class` and (for a non-empty id) `id`,
    // serialised in UTF-8 with its declaration, into *out; returns errorCode.
    int toXML(std::string className, std::string rootName, std::string requestType, std::string id,
              std::string* out);
    // One exchange on a new connection to 127.0.0.1 at the configured port: the reply
    // document, or "" when none came.
    std::string sendRequest(std::string request);
    // 0 parsed (instances kept), 1 the service answered `error`, -1 not parsable.
    int fromXML(std::string reply);
    UPOSInstanceList getInstances() const { return vinstance; }
    EventStruct fromXMLEvent(std::string text);

    static bool isManufacturerProperty(const std::string& name);
    static bool isDevCatProperty(const std::string& name);
    static bool isDeviceIDProperty(const std::string& name);
    static bool isQORVELDevice(const std::string& value);
    static bool isOEMDevice(const std::string& value);
    static bool isSclOrScnDevice(const std::string& value);
    // A new copy of the attribute's value ("" when absent); the caller deletes it (delete[]).
    static char* getAttributeValue(const char* name, xercesc::DOMElement* element);

    // The port of the management service from the properties file (default 42115).
    static unsigned short servicePort();

private:
    void buildRequest(const std::string& className, const std::string& rootName, const std::string& requestType,
                      const std::string& id, std::string* out);

    UPOSInstanceList vinstance;
    UPOSInstance instances;
};

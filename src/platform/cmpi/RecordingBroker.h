// A CMPI broker that stands in for a CIM server's: it makes object paths and instances for a
// provider, records what the provider returns through the result, owns every object it made
// and frees them with itself. Test knobs make its factories answer null.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ovkcmpi.h"

class RecordingBroker {
public:
    struct Property {
        std::string name;
        std::string type; // "string", "boolean", "uint32", "uint64", "sint32", ...
        std::string value;
        bool operator==(const Property& o) const { return name == o.name && type == o.type && value == o.value; }
    };
    struct Instance {
        std::string path;
        std::vector<Property> properties;
    };

    RecordingBroker();
    ~RecordingBroker();
    RecordingBroker(const RecordingBroker&) = delete;
    RecordingBroker& operator=(const RecordingBroker&) = delete;

    CMPIBroker* broker() { return &broker_; }
    CMPIContext* context() { return &context_; }
    CMPIResult* result() { return &result_; }

    // An object path owned by the broker, such as the reference of a request.
    CMPIObjectPath* NewPath(const std::string& nameSpace, const std::string& className);
    static void AddKey(CMPIObjectPath* path, const std::string& name, const std::string& value);
    // "namespace:class.key=\"value\",...".
    static std::string Describe(CMPIObjectPath* path);

    const std::vector<std::string>& ReturnedPaths() const { return paths_; }
    const std::vector<Instance>& ReturnedInstances() const { return instances_; }
    int DoneCount() const { return done_; }

    bool failNewObjectPath = false;
    bool failNewInstance = false;

    struct Object;

private:
    friend struct BrokerCalls;
    CMPIBroker broker_{};
    CMPIContext context_{};
    CMPIResult result_{};
    std::vector<std::unique_ptr<Object>> objects_;
    std::vector<std::string> paths_;
    std::vector<Instance> instances_;
    int done_ = 0;
};

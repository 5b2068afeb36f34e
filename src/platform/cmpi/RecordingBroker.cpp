#include "RecordingBroker.h"

#include <utility>

// Every object the broker hands out: the CMPI handle with its table, and what it holds.
struct RecordingBroker::Object {
    enum Kind { kString, kPath, kInstance } kind;
    RecordingBroker* owner;
    CMPIString string{};
    CMPIObjectPath path{};
    CMPIInstance instance{};
    std::string text;                         // a text's characters
    std::string nameSpace, className;         // a path's (an instance's own path)
    std::vector<Property> keys;               // a path's keys
    std::vector<std::pair<Property, CMPIData>> keyData;
    std::vector<Property> properties;         // an instance's
};

using Object = RecordingBroker::Object;
using Property = RecordingBroker::Property;

struct BrokerCalls {
    static Object* make(RecordingBroker* owner, Object::Kind kind);
    static CMPIString* newString(RecordingBroker* owner, const std::string& text);
    static CMPIObjectPath* newPath(RecordingBroker* owner, const std::string& ns, const std::string& cn);

    static CMPIStatus ok() { return CMPIStatus{CMPI_RC_OK, nullptr}; }
    static CMPIStatus failed(CMPIStatus* rc) {
        if (rc) *rc = CMPIStatus{CMPI_RC_ERR_FAILED, nullptr};
        return CMPIStatus{CMPI_RC_ERR_FAILED, nullptr};
    }
    static Object* of(void* hdl) { return static_cast<Object*>(hdl); }

    // Objects are freed with the broker.
    static CMPIStatus releaseString(CMPIString*) { return ok(); }
    static CMPIStatus releasePath(CMPIObjectPath*) { return ok(); }
    static CMPIStatus releaseInstance(CMPIInstance*) { return ok(); }
    static CMPIStatus releaseResult(CMPIResult*) { return ok(); }

    static CMPIObjectPath* clone(CMPIObjectPath* op, CMPIStatus* rc) {
        if (!op) return failed(rc), nullptr;
        Object* from = of(op->hdl);
        CMPIObjectPath* copy = newPath(from->owner, from->nameSpace, from->className);
        Object* to = of(copy->hdl);
        to->keys = from->keys;
        to->keyData.clear();
        for (const Property& k : to->keys) storeKeyData(to, k);
        if (rc) *rc = ok();
        return copy;
    }
    static CMPIString* getNameSpace(CMPIObjectPath* op, CMPIStatus* rc) {
        if (rc) *rc = ok();
        return newString(of(op->hdl)->owner, of(op->hdl)->nameSpace);
    }
    static CMPIString* getClassName(CMPIObjectPath* op, CMPIStatus* rc) {
        if (rc) *rc = ok();
        return newString(of(op->hdl)->owner, of(op->hdl)->className);
    }
    static Property render(const char* name, const CMPIValue* value, CMPIType type) {
        Property p{name ? name : "", "", ""};
        if (!value) {
            p.type = "null";
            return p;
        }
        switch (type) {
        case CMPI_chars:
            p.type = "string";
            p.value = reinterpret_cast<const char*>(value) ? reinterpret_cast<const char*>(value) : "";
            break;
        case CMPI_string:
            p.type = "string";
            p.value = value->string && value->string->hdl ? static_cast<const char*>(value->string->hdl) : "";
            break;
        case CMPI_boolean: p.type = "boolean"; p.value = value->boolean ? "true" : "false"; break;
        case CMPI_uint32: p.type = "uint32"; p.value = std::to_string(value->uint32); break;
        case CMPI_sint32: p.type = "sint32"; p.value = std::to_string(value->sint32); break;
        case CMPI_uint64: p.type = "uint64"; p.value = std::to_string(value->uint64); break;
        default: p.type = "type" + std::to_string(type); break;
        }
        return p;
    }
    static void storeKeyData(Object* path, const Property& key) {
        CMPIData d{};
        d.type = CMPI_string;
        d.state = CMPI_keyValue;
        d.value.string = newString(path->owner, key.value);
        path->keyData.emplace_back(key, d);
    }
    static CMPIStatus addKey(CMPIObjectPath* op, const char* name, const CMPIValue* value, CMPIType type) {
        if (!op || !name) return failed(nullptr);
        Object* path = of(op->hdl);
        const Property key = render(name, value, type);
        for (size_t i = 0; i < path->keys.size(); ++i) {
            if (path->keys[i].name == key.name) {
                path->keys.erase(path->keys.begin() + static_cast<long>(i));
                path->keyData.erase(path->keyData.begin() + static_cast<long>(i));
                break;
            }
        }
        path->keys.push_back(key);
        storeKeyData(path, key);
        return ok();
    }
    static CMPIData getKey(CMPIObjectPath* op, const char* name, CMPIStatus* rc) {
        CMPIData none{};
        none.type = CMPI_null;
        none.state = CMPI_notFound;
        none.value.string = nullptr;
        if (!op || !name) return failed(rc), none;
        for (auto& [key, data] : of(op->hdl)->keyData) {
            if (key.name == name) {
                if (rc) *rc = ok();
                return data;
            }
        }
        if (rc) *rc = CMPIStatus{CMPI_RC_ERR_NOT_FOUND, nullptr};
        return none;
    }
    static CMPIStatus setProperty(CMPIInstance* inst, const char* name, const CMPIValue* value, CMPIType type) {
        if (!inst || !name) return failed(nullptr);
        Object* o = of(inst->hdl);
        Property p = render(name, value, type);
        for (Property& q : o->properties) {
            if (q.name == p.name) {
                q = p;
                return ok();
            }
        }
        o->properties.push_back(p);
        return ok();
    }
    static CMPIStatus returnObjectPath(CMPIResult* r, CMPIObjectPath* op) {
        if (!op) return failed(nullptr);
        static_cast<RecordingBroker*>(r->hdl)->paths_.push_back(RecordingBroker::Describe(op));
        return ok();
    }
    static CMPIStatus returnInstance(CMPIResult* r, CMPIInstance* inst) {
        if (!inst) return failed(nullptr);
        Object* o = of(inst->hdl);
        static_cast<RecordingBroker*>(r->hdl)->instances_.push_back(
            RecordingBroker::Instance{RecordingBroker::Describe(&o->path), o->properties});
        return ok();
    }
    static CMPIStatus returnDone(CMPIResult* r) {
        ++static_cast<RecordingBroker*>(r->hdl)->done_;
        return ok();
    }
    static CMPIInstance* newInstance(const CMPIBroker* mb, CMPIObjectPath* op, CMPIStatus* rc) {
        RecordingBroker* owner = static_cast<RecordingBroker*>(mb->hdl);
        if (owner->failNewInstance || !op) return failed(rc), nullptr;
        Object* o = make(owner, Object::kInstance);
        const Object* from = of(op->hdl);
        o->nameSpace = from->nameSpace;
        o->className = from->className;
        o->keys = from->keys;
        o->path.hdl = o; // the instance's own path, for describing it
        if (rc) *rc = ok();
        return &o->instance;
    }
    static CMPIObjectPath* newObjectPath(const CMPIBroker* mb, const char* ns, const char* cn, CMPIStatus* rc) {
        RecordingBroker* owner = static_cast<RecordingBroker*>(mb->hdl);
        if (owner->failNewObjectPath) return failed(rc), nullptr;
        if (rc) *rc = ok();
        return newPath(owner, ns ? ns : "", cn ? cn : "");
    }

    static CMPIStringFT stringFT;
    static CMPIObjectPathFT pathFT;
    static CMPIInstanceFT instanceFT;
    static CMPIResultFT resultFT;
    static CMPIBrokerEncFT brokerFT;
};

CMPIStringFT BrokerCalls::stringFT = {80, BrokerCalls::releaseString};
CMPIObjectPathFT BrokerCalls::pathFT = {80, BrokerCalls::releasePath, BrokerCalls::clone,
                                        BrokerCalls::getNameSpace, BrokerCalls::getClassName,
                                        BrokerCalls::addKey, BrokerCalls::getKey};
CMPIInstanceFT BrokerCalls::instanceFT = {80, BrokerCalls::releaseInstance, BrokerCalls::setProperty};
CMPIResultFT BrokerCalls::resultFT = {80, BrokerCalls::releaseResult, BrokerCalls::returnObjectPath,
                                      BrokerCalls::returnInstance, BrokerCalls::returnDone};
CMPIBrokerEncFT BrokerCalls::brokerFT = {80, BrokerCalls::newInstance, BrokerCalls::newObjectPath};

Object* BrokerCalls::make(RecordingBroker* owner, Object::Kind kind) {
    auto o = std::make_unique<Object>();
    o->kind = kind;
    o->owner = owner;
    o->string = CMPIString{o.get(), &stringFT};
    o->path = CMPIObjectPath{o.get(), &pathFT};
    o->instance = CMPIInstance{o.get(), &instanceFT};
    owner->objects_.push_back(std::move(o));
    return owner->objects_.back().get();
}

CMPIString* BrokerCalls::newString(RecordingBroker* owner, const std::string& text) {
    Object* o = make(owner, Object::kString);
    o->text = text;
    o->string.hdl = const_cast<char*>(o->text.c_str());
    return &o->string;
}

CMPIObjectPath* BrokerCalls::newPath(RecordingBroker* owner, const std::string& ns, const std::string& cn) {
    Object* o = make(owner, Object::kPath);
    o->nameSpace = ns;
    o->className = cn;
    return &o->path;
}

RecordingBroker::RecordingBroker() {
    broker_ = CMPIBroker{this, nullptr, &BrokerCalls::brokerFT};
    result_ = CMPIResult{this, &BrokerCalls::resultFT};
}

RecordingBroker::~RecordingBroker() = default;

CMPIObjectPath* RecordingBroker::NewPath(const std::string& nameSpace, const std::string& className) {
    return BrokerCalls::newPath(this, nameSpace, className);
}

void RecordingBroker::AddKey(CMPIObjectPath* path, const std::string& name, const std::string& value) {
    CMAddKey(path, name.c_str(), value.c_str(), CMPI_chars);
}

std::string RecordingBroker::Describe(CMPIObjectPath* path) {
    const Object* o = BrokerCalls::of(path->hdl);
    std::string text = o->nameSpace + ":" + o->className;
    for (size_t i = 0; i < o->keys.size(); ++i) {
        const Property& k = o->keys[i];
        text += (i == 0 ? "." : ",") + k.name + "=";
        text += k.type == "string" ? "\"" + k.value + "\"" : k.value;
    }
    return text;
}

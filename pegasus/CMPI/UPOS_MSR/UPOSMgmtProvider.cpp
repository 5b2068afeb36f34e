// libcimmsr: the CMPI instance provider of the magnetic-stripe readers ("UPOS_MSR"). It answers
// enumerations and single-instance reads by asking the management service through the
// bridge's entry points, one field at a time, and creates, changes or deletes nothing.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "UPOSMgmtSemaphore.h"
#include "cimbridge.h"
#include "ovkcmpi.h"

#define PROVIDER_EXPORT __attribute__((visibility("default")))

extern "C" {
PROVIDER_EXPORT int getType(char* typeText);
PROVIDER_EXPORT void cloneInstanceFields(void);
}

namespace {

CMPIBroker* broker = nullptr;

// The provider's copies of the bridge's field texts.
char* myptrName = nullptr;
char* myptrType = nullptr;
char* myptrValue = nullptr;

// Values of properties set by value.
struct {
    CMPIUint32 nInt32;
    CMPIUint64 nInt64;
    CMPIBoolean nBool;
    CMPIString* nString;
} sData;

int dataNext = 0;

// Type codes of the field type texts.
enum { kString = 1, kBoolean = 2, kUint32 = 3, kInt32 = 4, kUint64 = 5 };

void copyText(char*& target, const char* text) {
    const size_t n = std::strlen(text ? text : "") + 1;
    char* grown = static_cast<char*>(std::realloc(target, n));
    if (!grown) return;
    target = grown;
    std::memcpy(target, text ? text : "", n);
}

// Unsigned decimal of the text (digits after optional blanks and "+"; 0 when none), saturated
// at the type's largest value.
CMPIUint64 unsignedValue(const char* text, CMPIUint64 max) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    if (*text == '+') ++text;
    CMPIUint64 value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (value > (max - digit) / 10) return max;
        value = value * 10 + digit;
    }
    return value;
}

// One property from the field texts, by the type code of the type text.
void setPropertyFromField(CMPIInstance* inst, const char* name, const char* type, const char* value) {
    switch (getType(const_cast<char*>(type))) {
    case kString:
        CMSetProperty(inst, name, value, CMPI_chars);
        break;
    case kBoolean:
        // False when the value is a start of "false" (also the empty text).
        sData.nBool = std::strncmp(value, "false", std::strlen(value)) == 0 && std::strlen(value) <= 5
                          ? CMPI_false
                          : CMPI_true;
        CMSetProperty(inst, name, &sData.nBool, CMPI_boolean);
        break;
    case kUint32:
        sData.nInt32 = static_cast<CMPIUint32>(unsignedValue(value, 0xFFFFFFFFull));
        CMSetProperty(inst, name, &sData.nInt32, CMPI_uint32);
        break;
    case kUint64:
        sData.nInt64 = unsignedValue(value, ~0ull);
        CMSetProperty(inst, name, &sData.nInt64, CMPI_uint64);
        break;
    default:
        break;
    }
}

const char* textOf(CMPIString* s) { return s && s->hdl ? static_cast<const char*>(s->hdl) : ""; }

// Sets every field of bridge instance i as a property of inst.
void setFields(CMPIInstance* inst, unsigned i) {
    for (unsigned p = 0; getInstanceField(i, p) != -1; ++p) {
        cloneInstanceFields();
        endInstanceField();
        setPropertyFromField(inst, myptrName, myptrType, myptrValue);
    }
}

} // namespace

extern "C" {

// The type code of a type text: the last of "string", "boolean", "int32", "uint32", "uint64"
// whose start the text equals ("uint" and "" give uint64), 0 for none.
PROVIDER_EXPORT int getType(char* typeText) {
    const char* text = typeText ? typeText : "";
    const size_t n = std::strlen(text);
    static const struct {
        const char* keyword;
        int code;
    } kTypes[] = {{"string", kString}, {"boolean", kBoolean}, {"int32", kInt32},
                  {"uint32", kUint32}, {"uint64", kUint64}};
    int code = 0;
    for (const auto& t : kTypes)
        if (n <= std::strlen(t.keyword) && std::strncmp(text, t.keyword, n) == 0) code = t.code;
    return code;
}

PROVIDER_EXPORT void cloneInstanceFields(void) {
    copyText(myptrName, ptrName);
    copyText(myptrType, ptrType);
    copyText(myptrValue, ptrValue);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtCleanup(CMPIInstanceMI*, CMPIContext*) { CMReturn(CMPI_RC_OK); }

PROVIDER_EXPORT CMPIStatus UPOSMgmtEnumInstanceNames(CMPIInstanceMI*, CMPIContext*, CMPIResult* rslt,
                                                     CMPIObjectPath* ref) {
    setSemaphore();
    semaphore_p();
    const char* className = textOf(CMGetClassName(ref, nullptr));
    const char* nameSpace = textOf(CMGetNameSpace(ref, nullptr));
    enumerateInstances(const_cast<char*>(className), &dataNext);
    for (int i = 0; i < dataNext; ++i) {
        CMPIObjectPath* path = CMNewObjectPath(broker, nameSpace, className, nullptr);
        CMPIObjectPath* copy = path ? CMClone(path, nullptr) : nullptr;
        if (!copy) continue; // the broker made no path: this item is skipped
        for (unsigned p = 0; getInstanceField(static_cast<unsigned>(i), p) != -1; ++p) {
            if (std::strcmp(ptrName, "DeviceID") == 0) {
                CMAddKey(copy, "DeviceID", ptrValue, CMPI_chars);
                CMReturnObjectPath(rslt, copy);
                break;
            }
        }
    }
    endEnumInstances();
    CMReturnDone(rslt);
    releaseSemaphore();
    CMReturn(CMPI_RC_OK);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtEnumInstances(CMPIInstanceMI*, CMPIContext*, CMPIResult* rslt,
                                                 CMPIObjectPath* ref, char**) {
    setSemaphore();
    semaphore_p();
    const char* className = textOf(CMGetClassName(ref, nullptr));
    const char* nameSpace = textOf(CMGetNameSpace(ref, nullptr));
    int count = 0;
    enumerateInstances(const_cast<char*>(className), &count);
    for (int i = 0; i < count; ++i) {
        CMPIObjectPath* path = CMNewObjectPath(broker, nameSpace, className, nullptr);
        CMPIObjectPath* copy = path ? CMClone(path, nullptr) : nullptr;
        CMPIInstance* inst = copy ? CMNewInstance(broker, copy, nullptr) : nullptr;
        if (!inst) continue; // the broker made no instance: this item is skipped
        setFields(inst, static_cast<unsigned>(i));
        CMReturnInstance(rslt, inst);
    }
    endEnumInstances();
    CMReturnDone(rslt);
    releaseSemaphore();
    CMReturn(CMPI_RC_OK);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtGetInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult* rslt,
                                               CMPIObjectPath* ref, char**) {
    setSemaphore();
    semaphore_p();
    const char* className = textOf(CMGetClassName(ref, nullptr));
    // A reference without the key asks for no device: the answer is an instance without
    // properties, as for a device the service does not know.
    CMPIData key = CMGetKey(ref, "DeviceID", nullptr);
    const bool haveKey = key.state != CMPI_notFound && key.value.string && key.value.string->hdl;
    int count = 0;
    if (haveKey) getInstance(const_cast<char*>(className), static_cast<char*>(key.value.string->hdl), &count);
    CMPIInstance* inst = CMNewInstance(broker, ref, nullptr);
    if (inst) {
        if (haveKey) {
            for (unsigned p = 0; getInstanceField(0, p) != -1; ++p) {
                endInstanceField();
                setPropertyFromField(inst, ptrName, ptrType, ptrValue);
            }
        }
        CMReturnInstance(rslt, inst);
    }
    endEnumInstances();
    CMReturnDone(rslt);
    releaseSemaphore();
    CMReturn(CMPI_RC_OK);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtCreateInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*,
                                                  CMPIInstance*) {
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtSetInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*,
                                               CMPIInstance*, char**) {
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtModifyInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*,
                                                  CMPIInstance*, char**) {
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtDeleteInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*) {
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

PROVIDER_EXPORT CMPIStatus UPOSMgmtExecQuery(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*, char*,
                                             char*) {
    CMReturn(CMPI_RC_ERR_NOT_SUPPORTED);
}

PROVIDER_EXPORT CMPIInstanceMIFT instMIFT__ = {
    80,
    80,
    "instanceUPOS_MSR",
    UPOSMgmtCleanup,
    UPOSMgmtEnumInstanceNames,
    UPOSMgmtEnumInstances,
    UPOSMgmtGetInstance,
    UPOSMgmtCreateInstance,
    UPOSMgmtSetInstance,
    UPOSMgmtDeleteInstance,
    UPOSMgmtExecQuery,
};

PROVIDER_EXPORT CMPIInstanceMI* UPOS_MSR_Create_InstanceMI(CMPIBroker* brkr, CMPIContext*) {
    static CMPIInstanceMI mi = {nullptr, &instMIFT__};
    broker = brkr;
    return &mi;
}

} // extern "C"

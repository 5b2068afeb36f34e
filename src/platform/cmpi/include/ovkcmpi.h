// Those pieces of the CMPI provider interface that this system's providers use, for building and
// testing them without a CIM server: the broker's object factories, object paths, instances,
// results, texts, typed values and the instance provider's function table. Our own
// declarations; the encoded type numbers are this header's own.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char CMPIBoolean;
typedef unsigned short CMPIType;
typedef unsigned short CMPIValueState;
typedef unsigned int CMPIrc;
typedef unsigned int CMPIUint32;
typedef unsigned long long CMPIUint64;
typedef int CMPISint32;

#define CMPI_true 1
#define CMPI_false 0

// Type codes.
#define CMPI_null ((CMPIType)0)
#define CMPI_boolean ((CMPIType)2)
#define CMPI_uint32 ((CMPIType)0x0A0)
#define CMPI_sint32 ((CMPIType)0x0B0)
#define CMPI_uint64 ((CMPIType)0x0C0)
#define CMPI_sint64 ((CMPIType)0x0D0)
#define CMPI_string ((CMPIType)0x1600)
#define CMPI_chars ((CMPIType)0x1700)
#define CMPI_ref ((CMPIType)0x1100)
#define CMPI_instance ((CMPIType)0x1000)

// Value states.
#define CMPI_goodValue ((CMPIValueState)0)
#define CMPI_nullValue ((CMPIValueState)1)
#define CMPI_keyValue ((CMPIValueState)2)
#define CMPI_notFound ((CMPIValueState)4)

// Status codes.
#define CMPI_RC_OK 0
#define CMPI_RC_ERR_FAILED 1
#define CMPI_RC_ERR_NOT_FOUND 6
#define CMPI_RC_ERR_NOT_SUPPORTED 7

typedef struct _CMPIBroker CMPIBroker;
typedef struct _CMPIContext CMPIContext;
typedef struct _CMPIResult CMPIResult;
typedef struct _CMPIObjectPath CMPIObjectPath;
typedef struct _CMPIInstance CMPIInstance;
typedef struct _CMPIString CMPIString;
typedef struct _CMPIInstanceMI CMPIInstanceMI;

typedef struct _CMPIStatus {
    CMPIrc rc;
    CMPIString* msg;
} CMPIStatus;

typedef union _CMPIValue {
    CMPIBoolean boolean;
    CMPIUint32 uint32;
    CMPISint32 sint32;
    CMPIUint64 uint64;
    CMPIString* string;
    char* chars;
    CMPIObjectPath* ref;
    CMPIInstance* inst;
} CMPIValue;

typedef struct _CMPIData {
    CMPIType type;
    CMPIValueState state;
    CMPIValue value;
} CMPIData;

// A text: its characters are read directly through hdl.
typedef struct _CMPIStringFT {
    int ftVersion;
    CMPIStatus (*release)(CMPIString* st);
} CMPIStringFT;
struct _CMPIString {
    void* hdl;
    CMPIStringFT* ft;
};

typedef struct _CMPIObjectPathFT {
    int ftVersion;
    CMPIStatus (*release)(CMPIObjectPath* op);
    CMPIObjectPath* (*clone)(CMPIObjectPath* op, CMPIStatus* rc);
    CMPIString* (*getNameSpace)(CMPIObjectPath* op, CMPIStatus* rc);
    CMPIString* (*getClassName)(CMPIObjectPath* op, CMPIStatus* rc);
    // For CMPI_chars, value is the characters themselves (char*), as for setProperty.
    CMPIStatus (*addKey)(CMPIObjectPath* op, const char* name, const CMPIValue* value, CMPIType type);
    CMPIData (*getKey)(CMPIObjectPath* op, const char* name, CMPIStatus* rc);
} CMPIObjectPathFT;
struct _CMPIObjectPath {
    void* hdl;
    CMPIObjectPathFT* ft;
};

typedef struct _CMPIInstanceFT {
    int ftVersion;
    CMPIStatus (*release)(CMPIInstance* inst);
    CMPIStatus (*setProperty)(CMPIInstance* inst, const char* name, const CMPIValue* value, CMPIType type);
} CMPIInstanceFT;
struct _CMPIInstance {
    void* hdl;
    CMPIInstanceFT* ft;
};

typedef struct _CMPIResultFT {
    int ftVersion;
    CMPIStatus (*release)(CMPIResult* rslt);
    CMPIStatus (*returnObjectPath)(CMPIResult* rslt, CMPIObjectPath* op);
    CMPIStatus (*returnInstance)(CMPIResult* rslt, CMPIInstance* inst);
    CMPIStatus (*returnDone)(CMPIResult* rslt);
} CMPIResultFT;
struct _CMPIResult {
    void* hdl;
    CMPIResultFT* ft;
};

struct _CMPIContext {
    void* hdl;
    void* ft;
};

// The broker's object factories.
typedef struct _CMPIBrokerEncFT {
    int ftVersion;
    CMPIInstance* (*newInstance)(const CMPIBroker* mb, CMPIObjectPath* op, CMPIStatus* rc);
    CMPIObjectPath* (*newObjectPath)(const CMPIBroker* mb, const char* ns, const char* cn, CMPIStatus* rc);
} CMPIBrokerEncFT;
struct _CMPIBroker {
    void* hdl;
    void* bft;
    CMPIBrokerEncFT* eft;
};

// The instance provider: its handle and its function table.
typedef struct _CMPIInstanceMIFT {
    int ftVersion;
    int miVersion;
    const char* miName;
    CMPIStatus (*cleanup)(CMPIInstanceMI* mi, CMPIContext* ctx);
    CMPIStatus (*enumInstanceNames)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                                    CMPIObjectPath* op);
    CMPIStatus (*enumInstances)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                                CMPIObjectPath* op, char** properties);
    CMPIStatus (*getInstance)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                              CMPIObjectPath* op, char** properties);
    CMPIStatus (*createInstance)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                                 CMPIObjectPath* op, CMPIInstance* inst);
    CMPIStatus (*setInstance)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                              CMPIObjectPath* op, CMPIInstance* inst, char** properties);
    CMPIStatus (*deleteInstance)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                                 CMPIObjectPath* op);
    CMPIStatus (*execQuery)(CMPIInstanceMI* mi, CMPIContext* ctx, CMPIResult* rslt,
                            CMPIObjectPath* op, char* lang, char* query);
} CMPIInstanceMIFT;
struct _CMPIInstanceMI {
    void* hdl;
    CMPIInstanceMIFT* ft;
};

// The factory a CIM server looks up for a provider NAME: NAME_Create_InstanceMI.
typedef CMPIInstanceMI* (*CMPICreateInstanceMI)(CMPIBroker* broker, CMPIContext* ctx);

#define CMReturn(code)                     \
    do {                                   \
        CMPIStatus stat_ = {(code), 0};    \
        return stat_;                      \
    } while (0)

#define CMNewObjectPath(b, n, c, rc) ((b)->eft->newObjectPath((b), (n), (c), (rc)))
#define CMNewInstance(b, op, rc) ((b)->eft->newInstance((b), (op), (rc)))
#define CMGetClassName(op, rc) ((op)->ft->getClassName((op), (rc)))
#define CMGetNameSpace(op, rc) ((op)->ft->getNameSpace((op), (rc)))
#define CMClone(op, rc) ((op)->ft->clone((op), (rc)))
#define CMAddKey(op, n, v, t) ((op)->ft->addKey((op), (n), (const CMPIValue*)(v), (t)))
#define CMGetKey(op, n, rc) ((op)->ft->getKey((op), (n), (rc)))
#define CMSetProperty(ci, n, v, t) ((ci)->ft->setProperty((ci), (n), (const CMPIValue*)(v), (t)))
#define CMReturnObjectPath(r, op) ((r)->ft->returnObjectPath((r), (op)))
#define CMReturnInstance(r, i) ((r)->ft->returnInstance((r), (i)))
#define CMReturnDone(r) ((r)->ft->returnDone((r)))
#define CMGetCharPtr(s) ((char*)(s)->hdl)

#ifdef __cplusplus
}
#endif

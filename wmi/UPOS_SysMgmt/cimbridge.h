// The bridge's plain entry points (unmangled names): one request to the management service
// becomes the current result, whose fields are handed out one at a time through ptrName,
// ptrType and ptrValue. Single-threaded by contract (callers serialise).
#pragma once

#ifdef __cplusplus
class UPOSAdapter;
extern "C" {
#else
typedef struct UPOSAdapter UPOSAdapter;
#endif

// The current result (none after endEnumInstances).
extern UPOSAdapter* adapter;
// Copies of the name, type and value of the field last fetched.
extern char* ptrName;
extern char* ptrType;
extern char* ptrValue;
// Result of the last parse run by an enumeration (0, 1 or -1), or of getInstanceField.
extern int rc;
extern int instCnt;
extern int numInstances;

void enumerateInstances(char* className, int* numInst);
void enumerateInstanceNames(char* className, int* numInst);
void getInstance(char* className, char* keyName, int* numInst);
// Field propNum of instance instNum into the three pointers: 0, or -1 when there is no such
// field or no current result.
int getInstanceField(unsigned instNum, unsigned propNum);
void endInstanceField(void);
// Frees the current result (harmless when there is none).
void endEnumInstances(void);

// Case-insensitive comparison (0 when equal).
int stricmp(const char* a, const char* b);

#ifdef __cplusplus
}
#endif

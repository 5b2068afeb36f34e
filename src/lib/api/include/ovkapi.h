/* Client API of the POS device system: the calls an application makes to reach the devices
 * served by the control daemon. Every call but PosErrno returns -1 on failure and sets errno
 * to one of the POSERR_* codes below (codes from the daemon are passed through unchanged). */
#ifndef OVKAPI_H
#define OVKAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A named argument: the name of a resource and its value, an integer or, for string-valued
 * resources, the address of the caller's buffer. The core's ovktypes.h shares this guard. */
#ifndef OVK_POSARG_DEFINED
#define OVK_POSARG_DEFINED
struct PosArg {
    const char* name;
    intptr_t value;
};
#ifndef __cplusplus
typedef struct PosArg PosArg;
#endif
#endif

/* One event record, as PosRead on descriptor 0 returns it (16 bytes). */
#ifndef OVK_POSQMSG_DEFINED
#define OVK_POSQMSG_DEFINED
struct _POSQMSG {
    uint32_t pid; /* id of the receiving process */
    uint32_t msg; /* event code (POSM_*) */
    uint32_t p1;
    uint32_t p2;
};
#ifndef __cplusplus
typedef struct _POSQMSG _POSQMSG;
#endif
#endif

/* System error codes. */
#ifndef OVK_POSERR_SYS_DEFINED
#define OVK_POSERR_SYS_DEFINED
#define POSERR_SYS_OS_ERROR 301
#define POSERR_SYS_NOT_INITIALIZED 302
#define POSERR_SYS_INVALID_DESCRIPTOR 303
#define POSERR_SYS_ALREADY_INITIALIZED 304
#define POSERR_SYS_MEMORY_ALLOCATION 305
#define POSERR_SYS_TOO_MANY_DEVICES 309
#define POSERR_SYS_FUNCTION_NOT_SUPPORTED 311
#define POSERR_SYS_BUFFER_TOO_SMALL 312
#define POSERR_SYS_INVALID_LENGTH 318
#define POSERR_SYS_DATA_DISCARDED 320
#define POSERR_SYS_INTERNAL_ERROR 321
#define POSERR_SYS_INVALID_NARGS 325
#define POSERR_SYS_TIMEOUT 329
#define POSERR_SYS_INVALID_NAME 330
#define POSERR_SYS_INVALID_CLASS 331
#define POSERR_SYS_INVALID_ADDRESS 334
#define POSERR_SYS_INVALID_FILE 336
#define POSERR_SYS_SERVICE_NOT_AVAILABLE 337
#endif

/* Requests the library itself looks at. */
#ifndef OVK_POS_SYS_REQUESTS_DEFINED
#define OVK_POS_SYS_REQUESTS_DEFINED
#define POS_SYS_GET_VALUES 302
#define POS_SYS_SET_VALUES 305
#define POS_DSP_DEFINE_CHARACTERS 4402
#define POS_PRN_DEFINE_CHARACTERS 4909
#endif

/* System events. */
#ifndef OVK_POSM_SYS_DEFINED
#define OVK_POSM_SYS_DEFINED
#define POSM_SYS_DEVICE_OFFLINE 0x420C
#define POSM_SYS_DEVICE_ONLINE 0x420D
#define POSM_SYS_DEVICE_RELEASED 0x4213
#endif

/* Connects to a control daemon (the local one, or the host of a "deviceHost" argument) and
 * registers the application; returns the connection's service descriptor (0 local). */
int PosInitialize(char* applName, char* resFile, int reserved1, int reserved2, struct PosArg* args,
                  int nargs);
/* Opens a device of a class ("PosPrinter", ...); returns a device descriptor 1 to 255. */
int PosOpen(char* name, char* className, struct PosArg* args, int nargs);
/* Reads device data; on descriptor 0 reads one event record (_POSQMSG). */
int PosRead(int devdes, void* buf, unsigned int nbytes);
int PosWrite(int devdes, void* buf, unsigned int nbytes);
int PosIOCtl(int devdes, int request, struct PosArg* args, int nargs);
int PosClose(int devdes);
/* Ends the use of every daemon: closes all connections. */
int PosTerm(void);
int PosVersion(int* version, int* release, int* modification);
/* The calling thread's errno. */
int PosErrno(void);

#ifdef __cplusplus
}
#endif

#endif /* OVKAPI_H */

// The object that drives one slot's hardware: the RS-485 adapter manager (SIOAM) or the
// system-board adapter (Planar). Adapter plug-ins derive from it, so the order of its
// virtual operations is a fixed interface.
//
// Only the operations are declared here; the adapter base adds its fields and bodies.
#pragma once

#include "STG.h"

class PDEV;
struct NvramInfoStruct;

class ADAPTER : public STG {
public:
    ADAPTER(int slot, unsigned short adapterType, const unsigned char* name);
    ~ADAPTER() override;

    virtual int Close(const PDEV* device, int& remaining);
    virtual void DeleteAnyReadyPdevs();
    virtual void GetLocalNvramInfo(NvramInfoStruct& info);
    virtual const unsigned char* GetValidPorts() const;
    virtual int Init();
    virtual int NvramRead(void* record, int length);
    virtual int NvramWrite(void* record, int length);
    virtual int PowerRequest(void* record, int length);
    virtual int Open(const PDEV* device);
    virtual int PdevReadyToBeDeleted(const PDEV* device);
    virtual void StopRunning();
    virtual int Term();
    virtual int ValidatePort(int port);
    virtual int CloseDD() = 0;
    virtual int OpenDD() = 0;
    virtual int Run(int slot, int arg) = 0;
    virtual int RequestBuffer() = 0;
    virtual int SendFrame(const unsigned char* record, int length) = 0;
    virtual void AddNotDockedAddress(unsigned char address);
    virtual void SetDockedState();
    virtual void ResetDockedState();
    virtual int GetDockedState();
    virtual int Suspend() = 0;
    virtual int Resume() = 0;
};

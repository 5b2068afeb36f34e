// A client's RS-232 port: line settings as resources, writes of up to 247 bytes, a queue of
// received blocks {int16 flags, int16 length, data} read whole, and the break request.
#pragma once

#include <cstdint>

#include "VDEV.h"
#include "ovkhost.h"
#include "rs232defs.h"

class RS232CV : public VDEV {
public:
    RS232CV(const DeviceID& id, int handle);
    ~RS232CV() override;

    int Open(const unsigned char* resourceName, const unsigned char* className, PosArg* args,
             int count) override;
    int Close(int& remaining) override;
    int SetValuesCreation(PosArg* args, int count) override;
    int SetValues(PosArg* args, int count) override;
    int GetValues(PosArg* args, int count) override;
    int Write(const void* buffer, unsigned int length, int& count) override;
    int Read(void* buffer, unsigned int length, int& count) override;
    int IOCtl(int request, PosArg* args, int count, int& out) override;
    int TellVirt(const PDEV* from, int message, unsigned char* data, int length) override;

    const Rs232Settings& GetSettings() const { return settings_; }
    int QueuedBlocks() const { return queue_.count; }

protected:
    // Takes the named settings of args over `s`.
    static void Take(const PosArg* args, int count, Rs232Settings& s, bool lineMode);
    void Discard();

    Rs232Settings settings_;
    DList queue_;
};

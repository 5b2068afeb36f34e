// The base of the readers behind the keyboard driver node "/dev/ovkikbps" instead of the
// link: at open it reads the reader's EC level and configures the reader on the node; in
// every service turn it reads the reader's messages from the node and hands them to the
// model's NewMsgRcvd. It sends no commands.
#pragma once

#include <cstdint>

#include "MSP.h"

class MSPSP : public MSP {
public:
    MSPSP(const DeviceID& id, const unsigned char* name);
    MSPSP(const DeviceID& id, const char* name)
        : MSPSP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~MSPSP() override;

    using PDEV::Close;
    using PDEV::Open;

    // Opens the node unless this process has it open, reads the information record (EC
    // level in byte 11) and sends the reader configuration. A node that cannot be opened
    // fails the open.
    int Open(const VDEV* vdev) override;
    // Gives this open's use of the node back (closed with its last user).
    int Close(const VDEV* vdev, int& remaining) override;
    // Reads one reader message from the node (at most kReadMax bytes) and decodes it.
    void ProcessOutput(long nowMs) override;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // The base logs 10801: models decode the messages.
    int NewMsgRcvd(const unsigned char* data, int n) override;

    // Added operation: a request on the node, traced (all but the read request).
    virtual int KBDIOCtlTrace(int fd, unsigned long request, void* buffer, int length);

    // The read request: up to `length` bytes of reader data into buffer; length becomes the
    // bytes delivered (0 on failure). The driver's result.
    int ReadMSRData(unsigned char* buffer, int& length);

    // The configuration record last sent (bytes 4-15), for tests.
    const unsigned char* Configuration() const { return config_; }

    // The node descriptor shared by the process's node readers (-1: not open) and the
    // number of opens that use it.
    static int NodeHandle();
    static int NodeUsers();

    // Node requests: keyboard information, reader configuration, reader data.
    static constexpr unsigned long kKeyboardInformation = 0xC0106B0CUL;
    static constexpr unsigned long kReaderConfiguration = 0xC0106B09UL;
    static constexpr unsigned long kReadReader = 0xC3F06B0AUL;
    static constexpr int kReadRecord = 1008; // status, length, data
    static constexpr int kReadMax = 556;      // bytes asked for in each service turn

protected:
    // Online (link-up bit and NowConfirmed) unless it is already up and confirmed.
    void MakeOnline();

    unsigned char config_[16] = {};

private:
    int32_t nodeUses_ = 0; // this reader's opens that hold a use of the node
};

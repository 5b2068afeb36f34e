// The event queue of one client process (handle 0 of its Process). Each event posted to it
// goes out at once on the client's connection as a 20-byte event message:
//   0xCE000001, 0 (handle), message number, first parameter, second parameter
// as 32-bit words in host byte order. Events are not kept or read on the server side.
#pragma once

#include <cstdint>

#include "EventQueue.h"
#include "ovkhost.h"

class ServiceConnection;

// Message type of an unsolicited event message to the client.
enum : uint32_t { POSQ_EVENT_MESSAGE = 0xCE000001u };

class POSQ : public EventQueue {
public:
    enum { kEventBytes = 20, kRecordBytes = 16, kMinMessageLimit = 16 };
    // Longest wait for a client to take an event; a connection set to wait longer (or
    // without limit) is held to this for events.
    static constexpr long kMaxWriteWaitMs = 1000;

    // connection is not owned; null makes every write fail with 320.
    POSQ(ServiceConnection* connection, const unsigned char* name);
    POSQ(ServiceConnection* connection, const char* name)
        : POSQ(connection, reinterpret_cast<const unsigned char*>(name)) {}
    ~POSQ() override;

    // 0 with count 0: events are read on the client side.
    int Read(void* buffer, unsigned int length, int& count) override;
    // The limit becomes limit, at least 16. 0.
    int SetMessageLimit(unsigned short limit) override;
    // The timeout becomes timeout, or 0 when it is negative as a signed number. 0.
    int SetReadTimeout(unsigned long timeout) override;
    // data: message number, first and second parameter (12 bytes; a shorter or missing
    // buffer is refused with 310). Sends the event message under the connection's writer
    // mutex within its write time-out: 0 and count 16, or 320 and count 0 when the
    // client cannot take it (gone, or not reading).
    int Write(unsigned char* data, int length, int& count) override;

    // Builds the 20-byte event message of an event.
    static void EncodeEvent(uint32_t msg, uint32_t p1, uint32_t p2, unsigned char out[kEventBytes]);

    unsigned short GetMessageLimit() const { return messageLimit_; }
    int32_t GetReadTimeout() const { return readTimeout_; }
    ServiceConnection* GetConnection() const { return connection_; }

private:
    DList messages_;
    unsigned short messageLimit_ = 128;
    int32_t readTimeout_ = 0;
    ServiceConnection* connection_;
};

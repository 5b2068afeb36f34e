// A serial port played by a script: what the program writes is recorded, each write may
// queue answers, and reads take the queued bursts one at a time (a time-out when none).
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

#include "SerialPort.h"
#include "ZelException.h"

using Bytes = std::vector<unsigned char>;

class ScriptedSerialPort : public SerialPort {
public:
    ScriptedSerialPort() : SerialPort(1) {}
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    void setConfig(SerialPortConfig* config) override { config_ = config; configs.push_back(config); }
    bool isCTS() override { return ctsStuckHigh || rts; }
    void setRTS(bool on) override { rts = on; }
    using SerialPort::write;
    void write(const unsigned char* data, int offset, int length) override {
        Bytes bytes(data + offset, data + offset + length);
        written.push_back(bytes);
        if (answer) answer(bytes, *this);
    }
    void read(unsigned char* buffer, int* length) override {
        if (bursts.empty()) throw new ZelException(SerialPort::READ_TIMEOUT, "(ERR_0)Timeout while polling port");
        Bytes burst = bursts.front();
        bursts.pop_front();
        const int n = std::min<int>(*length, static_cast<int>(burst.size()));
        std::copy(burst.begin(), burst.begin() + n, buffer);
        *length = n;
    }
    void flush() override { ++flushes; }

    // Queues one read burst.
    void queue(const Bytes& burst) { bursts.push_back(burst); }

    bool rts = false;
    bool ctsStuckHigh = false;
    int flushes = 0;
    std::deque<Bytes> bursts;
    std::vector<Bytes> written;
    std::vector<SerialPortConfig*> configs;
    std::function<void(const Bytes&, ScriptedSerialPort&)> answer;
};

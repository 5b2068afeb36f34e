// One client of a raw-access server: its state, its version, and the events written to it
// that await its acknowledgement.
#include "SdiServer.h"

#include <csignal>
#include <cstring>
#include <pthread.h>
#include <vector>

#include "SdiMessages.h"

namespace {

const char kTag[] = "@(#)sysdiconn.cpp";
constexpr int kWriteAttempts = 3;
constexpr int kMaxKept = 512; // events awaiting acknowledgement; older ones are dropped

// The high byte of the trace minor of an "N" event, by device address and data.
uint32_t eventMark(const DeviceID& id, const unsigned char* text, int n) {
    if (n < sdi::kEventHeader || std::memcmp(text, "<rs485>N", 8) != 0) return 0;
    const int length = static_cast<int>(sdi::be16(text + 22));
    const unsigned char* data = text + sdi::kEventHeader;
    const int present = n - sdi::kEventHeader;
    if (id.device >= 0x40 && id.device <= 0x49 && length > 7) return 0x91000000u;
    if (id.device == 0x35 && length > 9 && present > 3 && (data[3] & 0x04)) return 0x96000000u;
    if (id.device == 0x34 && length > 4 && present > 0 && (data[0] & 0x08)) return 0x9A000000u;
    return 0;
}

} // namespace

namespace sdi {

void TraceWrite(uint32_t minor, const DeviceID& id, uint32_t connectionId, int result,
                const char* text, int n) {
    if (n < 0 || !text) n = 0;
    std::vector<unsigned char> record(16 + static_cast<size_t>(n));
    record[0] = id.slot;
    record[1] = id.port;
    record[2] = id.device;
    record[3] = 0;
    std::memcpy(&record[4], &connectionId, 4);
    std::memcpy(&record[8], &result, 4);
    std::memcpy(&record[12], &n, 4);
    if (n > 0) std::memcpy(&record[16], text, static_cast<size_t>(n));
    clTrace(93, minor, record.data(), static_cast<uint32_t>(record.size()), 0);
}

void BlockSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGALRM);
    sigaddset(&set, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

} // namespace sdi

SdiConnection::SdiConnection(const DeviceID& id, uint32_t connectionId, SvrSocket* socket,
                             int state)
    : deviceId_(id), id_(connectionId), socket_(socket), state_(state) {
    lock_.Open();
    sdi::TraceWrite(600, deviceId_, id_, 0, nullptr, 0);
}

SdiConnection::~SdiConnection() {
    while (sent_.start() == 0) delete sent_.linkout();
    lock_.Close();
    sdi::TraceWrite(601, deviceId_, id_, 0, nullptr, 0);
}

int SdiConnection::Lock() {
    const int rc = lock_.Acquire(15);
    if (rc != 0) clErrorLog(2404, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SdiConnection));
    return rc;
}

int SdiConnection::Unlock() {
    const int rc = lock_.Release();
    if (rc != 0) clErrorLog(2405, 301, static_cast<uint32_t>(rc), kTag, this, sizeof(SdiConnection));
    return rc;
}

int SdiConnection::Write(const char* text, int n) {
    if (!text) return -3;
    if (n == 0) n = static_cast<int>(std::strlen(text));
    unsigned char frame[sdi::kFrameBuffer];
    const int size = sdi::BuildFrame(text, n, frame);
    if (size == 0) return -3;
    int written = 0;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        try {
            written = socket_ ? socket_->write(static_cast<int>(id_), frame, size, kWriteTimeoutMs) : 0;
            break;
        } catch (...) {
            clErrorLog(2406, 301, 321, kTag, this, sizeof(SdiConnection));
        }
    }
    sdi::TraceWrite(613, deviceId_, id_, written, text, n);
    return written - 3;
}

int SdiConnection::SendVersionRequest(const char* text, int n) {
    if (state_ != SDICONN_NEW) return 0;
    state_ = SDICONN_VERSION_SENT;
    const int rc = Write(text, n);
    sdi::TraceWrite(602, deviceId_, id_, rc, text, n ? n : static_cast<int>(std::strlen(text)));
    return rc;
}

int SdiConnection::ClientVersion(const char* name, int a, int b, int c, int d, int e) {
    if (state_ != SDICONN_VERSION_SENT) return 0;
    clientName_ = name ? name : "";
    const int32_t values[5] = {a, b, c, d, e};
    std::memcpy(version_, values, sizeof version_);
    state_ = SDICONN_VERSION_RECEIVED;
    sdi::TraceWrite(605, deviceId_, id_, 0, clientName_.data(), static_cast<int>(clientName_.size()));
    return 0;
}

uint32_t SdiConnection::ClientOpen(char mode, unsigned options) {
    if (state_ != SDICONN_VERSION_RECEIVED) return 0;
    if (mode == 'M') monitor_ = 1;
    openOptions_ = options & 1;
    sdi::TraceWrite(606, deviceId_, id_, static_cast<int>(openOptions_), &mode, 1);
    return id_;
}

int SdiConnection::SendOpenMessage(const char* text, int n) {
    if (state_ != SDICONN_VERSION_RECEIVED) return 0;
    state_ = SDICONN_OPEN;
    const int rc = Write(text, n);
    sdi::TraceWrite(603, deviceId_, id_, rc, nullptr, 0);
    return rc;
}

int SdiConnection::SendResponse(const char* text, int n) {
    if (state_ != SDICONN_OPEN) return -1;
    const int rc = Write(text, n);
    sdi::TraceWrite(608, deviceId_, id_, rc, nullptr, 0);
    return rc;
}

int SdiConnection::SendCloseMessage(const char* text, int n) {
    state_ = SDICONN_NEW;
    const int rc = Write(text, n);
    sdi::TraceWrite(604, deviceId_, id_, rc, nullptr, 0);
    return rc;
}

int SdiConnection::ClientClose(uint32_t id) {
    if (id != id_) return 0;
    state_ = SDICONN_NEW;
    sdi::TraceWrite(607, deviceId_, id_, 0, nullptr, 0);
    try {
        if (socket_) socket_->disconnect(static_cast<int>(id_));
    } catch (...) {
        clErrorLog(2408, 301, 321, kTag, this, sizeof(SdiConnection));
        return 321;
    }
    return 0;
}

int SdiConnection::WriteEvent(SDIMSG* message, uint32_t minor) {
    const char* text = reinterpret_cast<const char*>(message->GetBuffer());
    const int n = message->GetLength();
    const int written = Write(text, n);
    const uint32_t mark = eventMark(deviceId_, message->GetBuffer(), n);
    sdi::TraceWrite(mark | minor, deviceId_, id_, written, text, n);
    return written;
}

int SdiConnection::SendRs485Message(SDIMSG* message) {
    if (!message) return 0;
    if (state_ != SDICONN_OPEN) {
        delete message;
        return 0;
    }
    if (chCheckBuffer(message, static_cast<int>(sizeof(SDIMSG)), CH_ACCESS_READ) != 0) return 321;
    const int n = message->GetLength();
    const bool complete = WriteEvent(message, 609) == n;
    if (!complete) {
        sdi::TraceWrite(eventMark(deviceId_, message->GetBuffer(), n) | 610, deviceId_, id_, -1,
                        nullptr, 0);
        delete message;
        return 321;
    }
    if (monitor_) {
        delete message;
        return 0;
    }
    if (Lock() != 0) {
        delete message;
        return 0;
    }
    while (sent_.count >= kMaxKept && sent_.start() == 0) delete sent_.linkout();
    sent_.end();
    if (sent_.linkin(message) != 0) delete message;
    Unlock();
    return 0;
}

int SdiConnection::AckReceived(const char* status, uint32_t serverId) {
    if (state_ != SDICONN_OPEN) return 0;
    sdi::TraceWrite(614, deviceId_, id_, static_cast<int>(serverId), status,
                    status ? static_cast<int>(std::strlen(status)) : 0);
    if (status && (std::strcmp(status, "OK") == 0 || std::strcmp(status, "ok") == 0))
        return RemoveMessage(serverId);
    return ResendMessage(serverId);
}

int SdiConnection::ResendMessage(uint32_t serverId) {
    if (state_ != SDICONN_OPEN) return 0;
    if (Lock() != 0) return 301;
    for (int rc = sent_.start(); rc == 0; rc = sent_.fwd()) {
        SDIMSG* message = sent_.get();
        if (!message || message->GetServerID() != serverId) continue;
        message->SetRetransmitFlag();
        WriteEvent(message, 611);
        break;
    }
    Unlock();
    return 0;
}

int SdiConnection::RemoveMessage(uint32_t serverId) {
    if (Lock() != 0) return 301;
    int found = 60;
    for (int rc = sent_.start(); rc == 0; rc = sent_.fwd()) {
        SDIMSG* message = sent_.get();
        if (message && message->GetServerID() == serverId) {
            delete sent_.linkout();
            found = 0;
            break;
        }
    }
    Unlock();
    return found;
}

int SdiConnection::FindMessage(uint32_t serverId, SDIMSG*& out) {
    out = nullptr;
    if (Lock() != 0) return 301;
    for (int rc = sent_.start(); rc == 0; rc = sent_.fwd()) {
        SDIMSG* message = sent_.get();
        if (message && message->GetServerID() == serverId) {
            out = message;
            break;
        }
    }
    Unlock();
    return out ? 0 : 60;
}

int SdiConnection::CheckForNonAcknowledgedMessage() {
    if (Lock() != 0) return 301;
    int rc = sent_.start();
    while (rc == 0) {
        SDIMSG* message = sent_.get();
        const int due = message ? message->CheckForNonAcknowledgedMessage() : 1;
        if (due == 2 && state_ == SDICONN_OPEN) {
            // Overdue for the first time: sent once more, marked as a retransmission.
            WriteEvent(message, 611);
            rc = sent_.fwd();
        } else if (due != 0) {
            delete sent_.linkout();
            rc = sent_.get() ? 0 : 1;
        } else {
            rc = sent_.fwd();
        }
    }
    Unlock();
    return 0;
}

int SdiConnection::SentCount() {
    if (Lock() != 0) return 0;
    const int n = sent_.count;
    Unlock();
    return n;
}

bool SdiConnection::isAlive() {
    try {
        return socket_ && socket_->isValidClient(static_cast<int>(id_));
    } catch (...) {
        return false;
    }
}

// The simulated line scanner.
#include "linescanner.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace scansim {

namespace {

const Bytes kAutoSync{0x02, 0x00, 0x16, 0x00, 0x03};
const Bytes kAutoSyncDone{0x02, 0x00, 0x0C, 0x00, 0x03};
const Bytes kAck{0x02, 0x00, 0x06, 0x00, 0x03};

const Bytes kReset{0x42, 0x40, 0x02};
const Bytes kEnable{0x42, 0x20, 0x40, 0x01};
const Bytes kDisable{0x42, 0x20, 0x40, 0x00};
const Bytes kFirmware{0x43, 0x30, 0xC0};
const Bytes kHardware{0x43, 0x30, 0x82};
const Bytes kSetSpeed{0x41, 0x63, 0x40}; // and the speed's code

constexpr unsigned kDefaultSpeed = 19200;
constexpr size_t kMaxBarcode = 256;

struct SpeedCode {
    unsigned speed;
    int code;
};
constexpr SpeedCode kSpeeds[] = {{19200, 8}, {57600, 10}, {38400, 9}, {9600, 7},
                                 {4800, 6},  {2400, 5},   {1200, 4}};

bool startsWith(const Bytes& b, const Bytes& prefix) {
    return b.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), b.begin());
}

} // namespace

int LineScanner::speedCode(unsigned speed) {
    for (const SpeedCode& s : kSpeeds)
        if (s.speed == speed) return s.code;
    return -1;
}

LineScanner::LineScanner(const Options& options)
    : speed_(options.speed), firmware_(options.firmware), hardwareId_(options.hardwareId) {}

Bytes LineScanner::receive(const uint8_t* data, size_t n, unsigned lineSpeed) {
    Bytes out;
    if (lineSpeed != speed_) {
        discarded_ += n;
        reader_.reset();
        return out;
    }
    std::vector<Bytes> complete;
    reader_.feed(data, n, complete);
    for (const Bytes& raw : complete) frame(raw, out);
    return out;
}

void LineScanner::frame(const Bytes& raw, Bytes& out) {
    if (raw == kAck) return; // the program took an answer
    if (raw == kAutoSync) {
        answer(kAutoSyncDone, out);
        return;
    }
    // 0x00, a body of one byte or more, the control byte and the checksum.
    Bytes plain;
    if (!unstuff(raw, plain) || plain.size() < 5 || plain[0] != 0x00) {
        discarded_ += raw.size();
        return;
    }
    if (frames_.size() >= kMaxFrames) frames_.erase(frames_.begin());
    frames_.push_back(raw);
    if (noAck_) { // the frame is lost: neither acknowledged nor answered
        noAck_ = false;
        return;
    }
    answer(kAck, out);

    const Bytes body(plain.begin() + 1, plain.end() - 3);
    Bytes reply;
    unsigned newSpeed = speed_;
    if (body == kFirmware) {
        reply = {0x53, 0x30, 0xC0};
        const size_t n = std::min<size_t>(firmware_.size(), 0xFFFF);
        reply.push_back(static_cast<uint8_t>(n >> 8));
        reply.push_back(static_cast<uint8_t>(n & 0xFF));
        reply.insert(reply.end(), firmware_.begin(), firmware_.begin() + static_cast<long>(n));
    } else if (body == kHardware) {
        reply = {0x53, 0x30, 0x82, static_cast<uint8_t>(hardwareId_ >> 8),
                 static_cast<uint8_t>(hardwareId_ & 0xFF)};
    } else {
        // Any other command is answered with its first bytes, the first one marked as a reply.
        reply.assign(body.begin(), body.begin() + static_cast<long>(std::min<size_t>(body.size(), 3)));
        reply[0] = static_cast<uint8_t>(reply[0] | 0x10);
        if (body == kReset) {
            newSpeed = kDefaultSpeed;
            laser_ = true;
        } else if (body == kEnable) {
            laser_ = true;
        } else if (body == kDisable) {
            laser_ = false;
        } else if (body.size() == 4 && startsWith(body, kSetSpeed)) {
            for (const SpeedCode& s : kSpeeds)
                if (s.code == body[3]) newSpeed = s.speed;
        }
    }
    answer(commandFrame(reply, nextControl()), out);
    speed_ = newSpeed; // a new speed holds from after the answer
}

void LineScanner::answer(const Bytes& frame, Bytes& out) {
    if (garbage_) { // the delimiters survive, what lies between them does not
        garbage_ = false;
        out.push_back(kStx);
        out.insert(out.end(), frame.size() - 2, 0x7F);
        out.push_back(kEtx);
        return;
    }
    out.insert(out.end(), frame.begin(), frame.end());
}

uint8_t LineScanner::nextControl() {
    const uint8_t control = static_cast<uint8_t>(0x60 | frameNumber_);
    frameNumber_ = (frameNumber_ + 1) % 9;
    return control;
}

std::string LineScanner::execute(const std::string& line, unsigned lineSpeed, Bytes& out) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;) w.push_back(word);
    if (w.empty()) return "error empty command";
    const std::string& verb = w[0];
    if (verb == "scan") return scan(w, out);
    if (w.size() != 1) return "error usage: " + verb;
    if (verb == "frames") {
        std::string reply = "ok";
        for (size_t i = 0; i < frames_.size(); ++i) reply += (i ? "; " : " ") + hex(frames_[i]);
        return reply;
    }
    if (verb == "state") {
        return "ok speed=" + std::to_string(speed_) + " line=" + std::to_string(lineSpeed) +
               " laser=" + (laser_ ? "on" : "off") + " frames=" + std::to_string(frames_.size()) +
               " discarded=" + std::to_string(discarded_);
    }
    if (verb == "noack") {
        noAck_ = true;
        return "ok";
    }
    if (verb == "garbage") {
        garbage_ = true;
        return "ok";
    }
    return "error unknown command " + verb;
}

std::string LineScanner::scan(const std::vector<std::string>& w, Bytes& out) {
    static const char* const kUsage = "error usage: scan <UPCA|UPCE|EAN8|EAN13|code> <digits>";
    if (w.size() != 3) return kUsage;
    uint8_t symbology;
    if (w[1] == "UPCA") symbology = 'A';
    else if (w[1] == "UPCE") symbology = 'E';
    else if (w[1] == "EAN13") symbology = 'F';
    else if (w[1] == "EAN8") symbology = 0xFF;
    else if (w[1] == "code") symbology = 0x00;
    else return kUsage;
    const std::string& data = w[2];
    if (data.size() > kMaxBarcode) return "error more than 256 characters";
    if (symbology != 0x00)
        for (char c : data)
            if (!std::isdigit(static_cast<unsigned char>(c))) return "error not digits: " + data;
    if (!laser_) return "error laser off";
    const size_t n = data.size() + 1; // the symbology and the data
    Bytes packet;
    packet.reserve(n + 4);
    packet.insert(packet.end(), {0x00, 0x60, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n & 0xFF), symbology});
    packet.insert(packet.end(), data.begin(), data.end());
    const Bytes wire = stuff(packet);
    out.insert(out.end(), wire.begin(), wire.end());
    return "ok " + hex(wire);
}

} // namespace scansim

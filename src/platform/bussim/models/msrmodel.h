// The magnetic stripe readers on the RS-485 link as a device model, in the message layout
// of one of four reader kinds:
// - kind 3 (three tracks, optional encoder): 00 80 gives 40 00 EC; the information request
//   00 00 01 gives 01 00 00 TT 0F 00 00 (TT 5 with an encoder, else 0); 01 0F and 01 00 give
//   04 00; the encoder commands 01 80 tt and 10 00 ll data give 00 80, and after the data
//   00 20 (written) or 00 10 (failed). A swipe: 00 SS, then {L, L bytes} for tracks 1, 2, 3
//   (SS: bit 1, and bit 0 / 2 / 4 for an unreadable track 1 / 2 / 3). While not ready every
//   message has byte 0 bit 1.
// - kind 2 (two tracks): 00 80 gives 02 00 EC, other commands 10 00. A swipe: byte 0 bit 6
//   when the second block is track 1, 08 (bit 6 track 2 unreadable, bit 2 the other), then
//   {L, data} for track 2 and for track 1 (or track 3).
// - kind 1 (track 2 only): 00 80 gives 02 EC, other commands 20. A swipe: byte 0 (bit 0: the
//   track is unreadable), then the track's characters.
// - kind j (track 2 and JIS): 81 00 gives 01 00 EC, other commands 00 00. A swipe: 00, 88
//   (bit 0: the JIS track is unreadable), then {L, data} for track 2 and the JIS track (the
//   third one given).
// It records every payload and the data of every encode command, and sends the swipes and
// raw messages a script asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class MsrModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    enum Kind { THREE, TWO, ONE, JIS };

    struct Options {
        Kind kind = THREE;
        bool encoder = false;
        uint8_t ecLevel = 0x10;
    };

    // One track of a swipe: absent (no data) or its characters.
    struct Track {
        bool present = false;
        std::string data;
    };

    MsrModel() : MsrModel(Options{}) {}
    explicit MsrModel(const Options& options) : options_(options) {}

    // Script: a card through the reader; false when a track is longer than a block holds.
    bool swipe(const Track& t1, const Track& t2, const Track& t3);
    // Script: the next swipe reports track n (1-3) unreadable.
    void trackError(int n) { trackError_ = n; }
    // Script: whether encoding succeeds.
    void setEncodeWorks(bool ok) { encodeWorks_ = ok; }
    // Script: the reader is (not) ready; reported at once.
    void setNotReady(bool on);
    // Script: a raw message.
    void push(const Bytes& payload);

    // The message of a swipe in this kind's layout (the pending track error included).
    Bytes swipeMessage(const Track& t1, const Track& t2, const Track& t3) const;

    const Options& options() const { return options_; }
    static constexpr size_t kReceivedLimit = 4096;
    // The next n commands other than the EC level request are answered with the reader's
    // error bit (byte 0 bit 7; bit 6 for kind j) and not carried out.
    void reject(int n) { rejects_ = n < 0 ? 0 : n; }
    const std::deque<Bytes>& received() const { return received_; }
    // The data of each encode command, oldest first.
    const std::deque<Bytes>& written() const { return written_; }
    bool notReady() const { return notReady_; }

    void receive(const Bytes& payload, ModelLink& link) override;
    void tick(int32_t now, ModelLink& link) override;

private:
    uint8_t status0(uint8_t bits) const { return static_cast<uint8_t>(bits | (notReady_ ? 0x02 : 0)); }

    Options options_;
    std::deque<Bytes> received_;
    int rejects_ = 0;
    std::deque<Bytes> written_;
    std::deque<Bytes> unasked_;
    int trackError_ = 0;
    bool encodeWorks_ = true;
    bool notReady_ = false;
};

} // namespace bussim

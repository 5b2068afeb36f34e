// The printer kit of the simulated bus: what every printer model shares. It records every
// command (the newest kCommandLimit kept, all counted) and the text lines printed per station,
// keeps the scripted state (paper per station, cover, document, commands to reject, command
// frames to lose), reports a scripted change unasked at the next tick, and turns a reset
// command into a request online at the next poll.
//
// A model derives from it and supplies command() (what a command does and its answer),
// status() (the status bytes it reports now, mapping paper, cover and document onto them),
// rejectAnswer() and, when it has state of its own, powerOn().
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

class PrinterModel : public DeviceModel {
public:
    using Bytes = std::vector<uint8_t>;

    enum Station : int { CR = 0, SJ = 1, DI = 2, kStations = 3 };
    static constexpr size_t kCommandLimit = 4096; // commands kept (the newest)
    static constexpr size_t kLineLimit = 4096;    // lines kept per station (the newest)
    static constexpr size_t kPartialLimitColumns = 4096; // columns of an M3 line kept

    // Script. Paper, cover and document report themselves at the next tick when they
    // change (false: no change, or no such station).
    bool setPaper(int station, bool out);
    bool setCover(bool open);
    bool setDocument(bool in);
    // The next n commands are rejected; the next n command frames are lost on the line (no
    // answer, no acknowledgement). Each adds to what is still due; a reject of 0 ends the
    // rejects still due.
    void rejectNext(int n) { rejects_ = n > 0 ? rejects_ + n : 0; }
    void dropNext(int n) { drops_ += n > 0 ? n : 0; }

    bool paperOut(int station) const { return validStation(station) && paperOut_[station]; }
    bool coverOpen() const { return coverOpen_; }
    bool documentIn() const { return documentIn_; }
    int rejectsDue() const { return rejects_; }
    int dropsDue() const { return drops_; }

    // Every command received, oldest first (the newest kCommandLimit), and how many came.
    const std::deque<Bytes>& commands() const { return commands_; }
    uint64_t commandCount() const { return commandCount_; }
    // The lines printed on a station, oldest first (the newest kLineLimit), how many, and
    // the text of the line not yet ended.
    const std::deque<std::string>& lines(int station) const { return lines_[clampStation(station)]; }
    uint64_t lineCount(int station) const { return lineCounts_[clampStation(station)]; }
    const std::string& partialLine(int station) const { return partial_[clampStation(station)]; }
    // Power-ons (attach, NSI, broadcast) and reset commands.
    int resets() const { return resets_; }

    void reset() final;
    void receive(const Bytes& payload, ModelLink& link) final;
    void tick(int32_t now, ModelLink& link) final;

    static bool validStation(int station) { return station >= 0 && station < kStations; }
    static int clampStation(int station) { return validStation(station) ? station : 0; }

protected:
    // The model's part.
    virtual void command(const Bytes& payload, ModelLink& link) = 0;
    virtual Bytes status() const = 0;
    virtual Bytes rejectAnswer() const = 0;
    virtual void powerOn() {}
    // Once per bus tick, before a due report goes out.
    virtual void onTick(int32_t /*now*/, ModelLink& /*link*/) {}

    // For the models: text (printable bytes are kept, others dropped) and line ends.
    void printText(int station, const uint8_t* text, size_t n);
    void lineFeed(int station);
    // Answers with the status now (a report that was due goes with it).
    void answer(ModelLink& link);
    void answer(ModelLink& link, const Bytes& bytes);
    // A reset command: power-on state and a request online at the next poll.
    void resetCommand(ModelLink& link);
    // An M3 print line (01 02 04 11 12 14 0D 1D 05 15 with 01 CR, 02 SJ, 03 04 06 07 DI):
    // its printable characters are laid over the station's current line from column 0, and
    // a line with feed steps in byte 4 ends it; an M3 feed (01 09, 01 0A) ends a started
    // line. False for any other frame.
    bool printM3Line(const Bytes& frame);
    // A status change of the model's own (a scripted status byte or fault) reports itself
    // at the next tick, as paper, cover and document do.
    void reportChange() { reportDue_ = true; }
    // The document's state before any script.
    void initialDocument(bool in) { documentIn_ = in; }

private:
    bool paperOut_[kStations] = {};
    bool coverOpen_ = false;
    bool documentIn_ = false;
    int rejects_ = 0;
    int drops_ = 0;
    bool reportDue_ = false;
    int resets_ = 0;
    std::deque<Bytes> commands_;
    uint64_t commandCount_ = 0;
    std::deque<std::string> lines_[kStations];
    uint64_t lineCounts_[kStations] = {};
    std::string partial_[kStations];
    std::string overlay_[kStations];
};

} // namespace bussim

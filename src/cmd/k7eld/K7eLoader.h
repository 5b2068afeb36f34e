// The font download program's run: options, messages, the printer's online event, and the
// conversation in RAS mode (configuration queries, erase, settings and character chunks,
// CRC check or test print), each step driven by the answer to the previous one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "K7eFont.h"
#include "ovkapi.h"

namespace k7e {

struct Options {
    int port = -1;
    int slot = -1;
    bool quiet = false;
    bool verify = false;
    bool useCountryCode = false;
    bool fontFileNamed = false;
    std::string fontFile;
};

// Reads the command line: 0 to run, else the exit status after the usage (1 missing
// arguments, 0 "-?" or an unknown option).
int parseOptions(int argc, char** argv, Options& options, bool& run);
void printUsage();

class Loader {
public:
    enum { kMct = 50, kChunkLimit = 272, kChunkFull = 220, kPrintLine = 249 };

    Loader(const Options& options, std::FILE* out);
    ~Loader();

    // Picks the font file (by the code page with -C) and counts its records; false when it
    // cannot be read (then nothing is initialised).
    bool prepare();
    // PosInitialize; false on failure (reported).
    bool initialize();
    // Reads and handles events until the run ends or, with no printer open, limitMs pass.
    void run(long limitMs);
    // Releases and closes the printer.
    void finish();

    void handle(const _POSQMSG& message);
    bool printerOpen() const { return printer_ > 0; }
    bool ended() const { return exit_; }

private:
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The status line of an event: "message - slot, port, type: (address)" for online and
    // offline events, the handle, name and both parameters for the others.
    void status(const _POSQMSG& message);
    void online(const _POSQMSG& message);
    void rasStatus(uint32_t p1, uint32_t p2);
    void showMct(int id, uint16_t value);
    bool write(const std::vector<uint8_t>& bytes);
    bool setMode(int mode);
    void query(int id);
    void erase();
    void setValue(int id, uint16_t value);
    void sendFont();
    void sendChunk();
    void startTestPrint();
    void printCharacters();
    void stars(const char* line);

    Options options_;
    std::FILE* out_;
    int printer_ = -1;
    bool exit_ = false;
    int totalCharacters_ = 0;
    int charactersSent_ = 0;
    int downloadCount_ = 0;
    uint16_t mct_[kMct] = {};
    uint16_t codePage_ = 0, setup_ = 0, mode_ = 0;
    uint16_t font1Width_ = 0, font1Height_ = 0, font2Width_ = 0, font2Height_ = 0, font2Spacing_ = 0;
    FontFile file_;
    std::vector<uint8_t> chunk_;
    int chunkRecords_ = 0;
    bool held_ = false;     // a record read that waits for the next chunk
    FontLine heldLine_;
    bool fileDone_ = false;
    unsigned quietReads_ = 0;
};

} // namespace k7e

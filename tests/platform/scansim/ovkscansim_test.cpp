// ovkscansim: the simulated line scanner driven as a program would, through its pty, with
// frames built here, and scripted through its control socket and -x.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "SimControl.h"
#include "TempRoot.h"
#include "scanframe.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- frames as the set-up program builds them ------------------------------------------------

Bytes wire(const Bytes& plain) {
    Bytes out{0x02};
    for (uint8_t b : plain) {
        if (b == 0x02 || b == 0x03 || b == 0x10) {
            out.push_back(0x10);
            out.push_back(static_cast<uint8_t>(b | 0x40));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x03);
    return out;
}

Bytes command(const Bytes& body, uint8_t control) {
    Bytes plain{0x00};
    plain.insert(plain.end(), body.begin(), body.end());
    plain.push_back(control);
    unsigned a = 0, b = 0;
    for (uint8_t x : plain) {
        a += x;
        b += a;
    }
    plain.push_back(static_cast<uint8_t>((b >> 8) & 0xFF));
    plain.push_back(static_cast<uint8_t>(b & 0xFF));
    return wire(plain);
}

const Bytes kAutoSync{0x02, 0x00, 0x16, 0x00, 0x03};
const Bytes kAutoSyncDone{0x02, 0x00, 0x0C, 0x00, 0x03};
const Bytes kAck{0x02, 0x00, 0x06, 0x00, 0x03};

std::string hex(const Bytes& b) { return scansim::hex(b); }

Bytes prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(std::min(n, b.size()))); }

// --- the program -----------------------------------------------------------------------------

// ovkscansim of the staging root with `args`, standard error to `errorFile`.
bool startScansim(ChildProcess& p, const std::vector<std::string>& args, const std::string& errorFile) {
    std::vector<std::string> all{std::string(OVK_STAGING_ROOT) + "/usr/bin/ovkscansim"};
    all.insert(all.end(), args.begin(), args.end());
    return p.Start(all, errorFile);
}

// The program's end of the serial line.
class Line {
public:
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0) return false;
        ::cfmakeraw(&t);
        return ::tcsetattr(fd_, TCSANOW, &t) == 0;
    }
    bool Speed(speed_t speed) {
        termios t{};
        return ::tcgetattr(fd_, &t) == 0 && ::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0 &&
               ::tcsetattr(fd_, TCSANOW, &t) == 0;
    }
    void Write(const Bytes& b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // The next frame from STX to ETX (what came so far after 5 s without a byte).
    Bytes Frame() {
        Bytes f;
        uint8_t c;
        while (true) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0 || ::read(fd_, &c, 1) != 1) return f;
            if (c == 0x02) f.clear();
            if (c == 0x02 || !f.empty()) f.push_back(c);
            if (c == 0x03 && !f.empty()) return f;
        }
    }

private:
    int fd_ = -1;
};

class ScanSim : public ::testing::Test {
protected:
    // Starts ovkscansim on port 1 (ttyS0) with `args` and opens the line at `speed`.
    void Run(std::vector<std::string> args, speed_t speed = B19200) {
        args.insert(args.begin(), {"-p", "1"});
        ASSERT_TRUE(startScansim(sim_, args, root_.at("/err")));
        std::string ready;
        ASSERT_TRUE(sim_.ReadLine(ready)) << root_.read("/err");
        ASSERT_EQ(ready, "ovkscansim ready") << root_.read("/err");
        ASSERT_TRUE(line_.Open(root_.at("/dev/ttyS0")));
        ASSERT_TRUE(line_.Speed(speed));
        control_.emplace(root_.at("/tmp/.ovkscansim"));
        ASSERT_TRUE(control_->connected());
    }
    std::string Control(const std::string& line) { return control_ ? control_->Run(line) : ""; }
    // Waits until `state` shows `text` (the pty hands bytes over in its own time).
    bool StateShows(const std::string& text) {
        for (int i = 0; i < 500; ++i) {
            if (Control("state").find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Sends a command, expects the acknowledgement, returns the reply and acknowledges it.
    Bytes Exchange(const Bytes& body, uint8_t control) {
        line_.Write(command(body, control));
        EXPECT_EQ(hex(line_.Frame()), hex(kAck));
        Bytes reply = line_.Frame();
        line_.Write(kAck);
        return reply;
    }

    TempRoot root_;
    ChildProcess sim_;
    Line line_;
    std::optional<SimControl> control_;
};

// --- the frame format --------------------------------------------------------------------------

TEST(ScanFrame, ChecksumStuffingAndTheReader) {
    EXPECT_EQ(scansim::checksum({1, 2, 3}), 10);
    EXPECT_EQ(hex(scansim::stuff({0x00, 0x03, 0x10, 0x02, 0x41})), "02 00 10 43 10 50 10 42 41 03");
    EXPECT_EQ(hex(scansim::commandFrame({0x42, 0x40, 0x02}, 0x68)), "02 00 42 40 10 42 68 10 42 34 03");

    struct Case {
        Bytes frame;
        bool ok;
        const char* plain;
    } cases[] = {
        {{0x02, 0x10, 0x43, 0x41, 0x03}, true, "03 41"},
        {{0x02, 0x41, 0x10, 0x03}, false, ""}, // a lone DLE before ETX
        {{0x02, 0x41, 0x10}, false, ""},
        {{0x41, 0x03}, false, ""},
        {{0x02}, false, ""},
        {{}, false, ""},
    };
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(scansim::unstuff(c.frame, out), c.ok) << hex(c.frame);
        if (c.ok) {
            EXPECT_EQ(hex(out), c.plain);
        }
    }

    // Two frames and noise in one burst, a frame cut by a new STX, and one cut over two bursts.
    scansim::FrameReader reader;
    std::vector<Bytes> frames;
    const Bytes burst{0x55, 0x02, 0x00, 0x16, 0x00, 0x03, 0x03, 0x02, 0x99, 0x02, 0x00, 0x0C, 0x00, 0x03, 0x02, 0x00};
    reader.feed(burst.data(), burst.size(), frames);
    const Bytes rest{0x06, 0x00, 0x03};
    reader.feed(rest.data(), rest.size(), frames);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], kAutoSync);
    EXPECT_EQ(frames[1], kAutoSyncDone);
    EXPECT_EQ(frames[2], kAck);

    // A frame without an end is dropped at the limit.
    frames.clear();
    Bytes endless(scansim::FrameReader::kMaxFrame + 10, 0x41);
    endless[0] = 0x02;
    reader.feed(endless.data(), endless.size(), frames);
    reader.feed(rest.data(), rest.size(), frames);
    EXPECT_TRUE(frames.empty());
}

// --- the simulator on its line ----------------------------------------------------------------

TEST_F(ScanSim, AnswersAutoSyncOnlyAtItsOwnSpeed) {
    Run({"-b", "57600"}, B19200);
    EXPECT_EQ(Control("state"), "ok speed=57600 line=19200 laser=on frames=0 discarded=0");
    line_.Write(kAutoSync);
    ASSERT_TRUE(StateShows("discarded=5"));
    ASSERT_TRUE(line_.Speed(B57600));
    line_.Write(kAutoSync);
    EXPECT_EQ(hex(line_.Frame()), hex(kAutoSyncDone));
    // Nothing more came for the first one: the next frame is this acknowledgement.
    line_.Write(command({0x42, 0x20, 0x40, 0x01}, 0x68));
    EXPECT_EQ(hex(line_.Frame()), hex(kAck));
    // Auto-sync frames are not commands: only the one command is kept.
    EXPECT_EQ(Control("frames"), "ok " + hex(command({0x42, 0x20, 0x40, 0x01}, 0x68)));
}

TEST_F(ScanSim, ResetIsAcknowledgedAnsweredKeptAndMakesIt19200) {
    Run({"-b", "57600"}, B57600);
    const Bytes reply = Exchange({0x42, 0x40, 0x02}, 0x68);
    EXPECT_EQ(hex(prefix(reply, 5)), "02 00 52 40 10");
    EXPECT_EQ(reply.back(), 0x03);
    EXPECT_EQ(Control("frames"), "ok 02 00 42 40 10 42 68 10 42 34 03");
    // Its answer went at 57600; the acknowledgement of it is noise at 19200.
    EXPECT_TRUE(StateShows("ok speed=19200 line=57600 laser=on frames=1 discarded=5"));
}

TEST_F(ScanSim, SetBaudRateSwitchesAfterItsAnswer) {
    Run({}, B19200);
    const Bytes body{0x41, 0x63, 0x40, 0x09};
    ASSERT_EQ(hex(command(body, 0x62)), "02 00 41 63 40 09 62 04 05 03");
    const Bytes reply = Exchange(body, 0x62); // answered at 19200
    EXPECT_EQ(hex(prefix(reply, 5)), "02 00 51 63 40");
    // The acknowledgement of the answer went at 19200 as well, which is noise at 38400.
    ASSERT_TRUE(StateShows("speed=38400 line=19200 laser=on frames=1 discarded=5"));
    ASSERT_TRUE(line_.Speed(B38400));
    line_.Write(kAutoSync);
    EXPECT_EQ(hex(line_.Frame()), hex(kAutoSyncDone));

    // A code it does not know leaves the speed alone.
    Exchange({0x41, 0x63, 0x40, 0x0C}, 0x63);
    ASSERT_TRUE(StateShows("speed=38400 line=38400 laser=on frames=2"));
}

TEST_F(ScanSim, ReportsFirmwareAndHardwareIdentifierFromItsOptions) {
    Run({"-f", "FW 1.2", "-i", "0x1234"});
    Bytes reply = Exchange({0x43, 0x30, 0xC0}, 0x68);
    EXPECT_EQ(hex(prefix(reply, 13)), "02 00 53 30 C0 00 06 46 57 20 31 2E 32");
    EXPECT_EQ(reply.back(), 0x03);
    reply = Exchange({0x43, 0x30, 0x82}, 0x61);
    EXPECT_EQ(hex(prefix(reply, 7)), "02 00 53 30 82 12 34");
    EXPECT_EQ(reply.back(), 0x03);
}

TEST_F(ScanSim, SendsBarCodesWhileTheLaserIsOn) {
    Run({});
    const char* packet = "02 00 60 00 0E 46 34 30 30 36 33 38 31 33 33 33 39 33 31 03";
    EXPECT_EQ(Control("scan EAN13 4006381333931"), std::string("ok ") + packet);
    EXPECT_EQ(hex(line_.Frame()), packet);
    EXPECT_EQ(Control("scan EAN8 12345670"), "ok 02 00 60 00 09 FF 31 32 33 34 35 36 37 30 03");
    EXPECT_EQ(hex(line_.Frame()), "02 00 60 00 09 FF 31 32 33 34 35 36 37 30 03");
    EXPECT_EQ(Control("scan code A-1"), "ok 02 00 60 00 04 00 41 2D 31 03");
    EXPECT_EQ(hex(line_.Frame()), "02 00 60 00 04 00 41 2D 31 03");
    EXPECT_EQ(Control("scan UPCA 12a"), "error not digits: 12a");
    EXPECT_EQ(Control("scan QR 12"), "error usage: scan <UPCA|UPCE|EAN8|EAN13|code> <digits>");

    Exchange({0x42, 0x20, 0x40, 0x00}, 0x68);
    ASSERT_TRUE(StateShows("laser=off"));
    EXPECT_EQ(Control("scan UPCA 012345678905"), "error laser off");
    Exchange({0x42, 0x20, 0x40, 0x01}, 0x61);
    EXPECT_EQ(Control("scan UPCE 01234565"), "ok 02 00 60 00 09 45 30 31 32 33 34 35 36 35 03");
}

TEST_F(ScanSim, FaultsLoseTheNextFrameOrGarbleTheNextAnswer) {
    Run({});
    EXPECT_EQ(Control("noack"), "ok");
    const Bytes lost = command({0x42, 0x40, 0x02}, 0x68);
    line_.Write(lost);
    ASSERT_TRUE(StateShows("frames=1"));
    // Nothing came for the lost frame: the next bytes answer the next one.
    const Bytes reply = Exchange({0x42, 0x40, 0x02}, 0x61);
    EXPECT_EQ(hex(prefix(reply, 3)), "02 00 52");

    EXPECT_EQ(Control("garbage"), "ok");
    line_.Write(kAutoSync);
    EXPECT_EQ(hex(line_.Frame()), "02 7F 7F 7F 03");
    line_.Write(kAutoSync);
    EXPECT_EQ(hex(line_.Frame()), hex(kAutoSyncDone));
    EXPECT_EQ(Control("frames"), "ok " + hex(lost) + "; " + hex(command({0x42, 0x40, 0x02}, 0x61)));
}

TEST_F(ScanSim, ControlSocketAndMinusXThenEndsOnSigterm) {
    Run({});
    EXPECT_EQ(Control("frames"), "ok");
    EXPECT_EQ(Control("bogus"), "error unknown command bogus");
    EXPECT_EQ(Control("state now"), "error usage: state");
    EXPECT_EQ(Control(std::string(2000, 'x')), "error line longer than 1024 characters");
    EXPECT_EQ(Control("state"), "ok speed=19200 line=19200 laser=on frames=0 discarded=0");

    ChildProcess x;
    ASSERT_TRUE(startScansim(x, {"-x", "scan UPCA 012345678905"}, root_.at("/err")));
    EXPECT_EQ(x.ReadAll(), "ok 02 00 60 00 0D 41 30 31 32 33 34 35 36 37 38 39 30 35 03\n");
    EXPECT_EQ(x.Wait(), 0);
    EXPECT_EQ(hex(line_.Frame()), "02 00 60 00 0D 41 30 31 32 33 34 35 36 37 38 39 30 35 03");
    ChildProcess bad;
    ASSERT_TRUE(startScansim(bad, {"-x", "bogus"}, root_.at("/err")));
    EXPECT_EQ(bad.ReadAll(), "error unknown command bogus\n");
    EXPECT_EQ(bad.Wait(), 1);

    sim_.Signal(SIGTERM);
    EXPECT_EQ(sim_.Wait(), 0);
    struct stat st;
    EXPECT_NE(::lstat(root_.at("/dev/ttyS0").c_str(), &st), 0);
    EXPECT_NE(::lstat(root_.at("/tmp/.ovkscansim").c_str(), &st), 0);
}

TEST(ScanSimOptions, RefusesBadOptionsAndExplainsThem) {
    TempRoot root;
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"-p", "0"}, 2}, {{"-p", "100"}, 2}, {{"-b", "115200"}, 2}, {{"-i", "0x10000"}, 2},
        {{"-i", "-1"}, 2}, {{"extra"}, 2},    {{"-p", "2", "-x", "state"}, 2},
        {{"-x", "state"}, 1}, // no simulator running
    };
    for (const Case& c : cases) {
        ChildProcess p;
        ASSERT_TRUE(startScansim(p, c.args, root.at("/err")));
        p.ReadAll();
        EXPECT_EQ(p.Wait(), c.status) << c.args[0];
    }
    ChildProcess help;
    ASSERT_TRUE(startScansim(help, {"--help"}, root.at("/err")));
    EXPECT_NE(help.ReadAll().find("ttyS<port-1>"), std::string::npos);
    EXPECT_EQ(help.Wait(), 0);
}

} // namespace

// ovksim: the terminal description, the scripting commands on the simulated terminal, and
// the program itself serving the driver nodes and the control socket under a private root.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "SimControl.h"
#include "TempRoot.h"
#include "busengine.h"
#include "kbdnode.h"
#include "ovkhost.h"
#include "ovksimconfig.h"
#include "ovksimcontrol.h"
#include "sydevnode.h"

namespace {

using namespace bussim;

// --- terminal description --------------------------------------------------------------

TEST(TerminalFile, ReadsSlotsKeyboardStationsAndVitalProductData) {
    const char text[] =
        "# terminal\n"
        "slot 0 planar\n"
        "slot 1 rs485 type 5 kind 5 ports 2 nvram 1   # two ports\r\n"
        "slot 3 rs485 type 0x295 ports 1 absent\n"
        "\n"
        "keyboard id=0x88ab msr=1\n"
        "station 1 0x22 0x4a testdev type=34900 subtype=7\n"
        "station 1 17 84 drawer\n"
        "vpd OVKSIM TERMINAL 42\n";
    TerminalFile f;
    std::string error;
    ASSERT_TRUE(parseTerminalFile(text, f, error)) << error;
    EXPECT_EQ(f.terminal.slots[0].slotType, kSlotTypePlanar);
    EXPECT_EQ(f.terminal.slots[1].slotType, kSlotTypeRS485);
    EXPECT_EQ(f.terminal.slots[1].adapterType, 5u);
    EXPECT_EQ(f.terminal.slots[1].adapterKind, 5u);
    EXPECT_EQ(f.terminal.slots[1].portCount, 2u);
    EXPECT_EQ(f.terminal.slots[1].nvramFlag, 1);
    EXPECT_EQ(f.terminal.slots[3].adapterType, 661u);
    EXPECT_EQ(f.terminal.slots[3].portCount, 1u);
    EXPECT_FALSE(f.terminal.slots[3].adapterPresent);
    EXPECT_EQ(f.terminal.slots[2].slotType, kSlotTypeNone);
    EXPECT_TRUE(f.keyboard.driver);
    EXPECT_EQ(f.keyboard.id, 0x88AB);
    EXPECT_EQ(f.keyboard.msrFlag, 1);
    ASSERT_EQ(f.stations.size(), 2u);
    EXPECT_EQ(f.stations[0].port, 0x22);
    EXPECT_EQ(f.stations[0].address, 0x4A);
    EXPECT_EQ(f.stations[0].model, "testdev");
    EXPECT_EQ(f.stations[0].options, (ModelOptions{{"type", "34900"}, {"subtype", "7"}}));
    EXPECT_EQ(f.stations[1].port, 0x11);
    EXPECT_EQ(f.stations[1].address, 0x54);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.terminal.vitalProductData.data()), 18),
              "OVKSIM TERMINAL 42");
}

TEST(TerminalFile, RefusesMalformedLinesWithTheirNumber) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"slot 9 planar\n", "line 1: usage"},
        {"slot 1 rs485\n", "line 1: an RS-485 slot needs its adapter type"},
        {"slot 1 rs485 type\n", "line 1: setting type without a value"},
        {"slot 1 rs485 type 5 ports 3\n", "line 1: bad setting ports 3"},
        {"slot 1 bus\n", "line 1: slot type must be"},
        {"slot 0 planar extra\n", "line 1: a planar slot takes no settings"},
        {"\nstation 1 0x33 0x4a testdev\n", "line 2: the port id must be"},
        {"station 1 0x22 0x80 testdev\n", "line 1: usage"},
        {"station 1 0x22 0x4a\n", "line 1: usage"},
        {"slot 1 rs485 type 5\nstation 1 0x22 0x4a testdev type\n", "line 2: expected key=value"},
        {"slot 1 rs485 type 5\nstation 1 0x22 0x4a testdev a=1 a=2\n", "line 2: option a given twice"},
        {"station 2 0x22 0x4a testdev\n", "line 1: slot 2 has no RS-485 adapter"},
        {"keyboard id=0x10000\n", "line 1: bad keyboard setting id=0x10000"},
        {"keyboard type=-1\n", "line 1: bad keyboard setting type=-1"},
        {"vpd 0123456789012345678901234\n", "line 1: vital product data longer"},
        {"frobnicate\n", "line 1: unknown keyword frobnicate"},
        {"slot 1 rs485 type 12abc\n", "line 1: bad setting type 12abc"},
    };
    for (const Case& c : cases) {
        TerminalFile f;
        std::string error;
        EXPECT_FALSE(parseTerminalFile(c.text, f, error)) << c.text;
        EXPECT_EQ(error.compare(0, std::strlen(c.error), c.error), 0) << c.text << " -> " << error;
    }
    TerminalFile f;
    std::string error;
    EXPECT_FALSE(parseTerminalFile(std::string(2000, 'x'), f, error));
    EXPECT_EQ(error, "line 1: line longer than 1024 characters");
}

// --- scripting commands ------------------------------------------------------------------

class SimulatorTest : public ::testing::Test {
protected:
    static TerminalFile terminal() {
        TerminalFile f;
        f.terminal = TerminalDescription::standard();
        return f;
    }
    static ModelRegistry models() {
        ModelRegistry r;
        registerBuiltinModels(r);
        return r;
    }
    void SetUp() override { ovkhost::useManualClock(true); }
    void TearDown() override { ovkhost::useManualClock(false); }

    // Plays the core's side of slot 1 for one exchange: the buffer goes out with these
    // frames and the node's next tick hands them to the stations.
    void SendFrames(const std::vector<OutFrame>& frames) {
        int fd = -1;
        ASSERT_EQ(sim_.engine().open("/dev/ovkdcs", fd), 0);
        std::vector<uint8_t> rec(2060, 0);
        rec[4] = 1;
        sim_.engine().ioctl(fd, DCS_REQUEST_BUFFER, rec.data(), 8);
        sim_.engine().ioctl(fd, DCS_WAIT_BUFFER, rec.data(), rec.size());
        ASSERT_EQ(rec[0], 0);
        CoreOutput out;
        out.flags = exch::kFlagFrames;
        out.frames = frames;
        std::array<uint8_t, exch::kBufferSize> buf;
        ASSERT_TRUE(encodeCoreOutput(out, buf));
        std::vector<uint8_t> back(2056, 0);
        back[4] = 1;
        std::memcpy(back.data() + 8, buf.data(), buf.size());
        sim_.engine().ioctl(fd, DCS_RETURN_BUFFER, back.data(), back.size());
        ASSERT_EQ(back[0], 0);
        std::fill(rec.begin(), rec.end(), 0);
        rec[4] = 1;
        sim_.engine().ioctl(fd, DCS_WAIT_BUFFER, rec.data(), rec.size()); // the tick
        sim_.engine().close(fd);
    }

    std::vector<std::string> log_;
    Simulator sim_{terminal(), models(), [this](const std::string& line) { log_.push_back(line); }};
};

TEST_F(SimulatorTest, StationsAreAttachedTakenAwayBroughtBackAndDetached) {
    EXPECT_EQ(sim_.execute("stations"), "ok 0");
    EXPECT_EQ(sim_.execute("attach 1 0x22 0x4a testdev type=34900"), "ok attached 1.22.4a testdev");
    EXPECT_EQ(sim_.execute("attach 1 0x11 0x54 drawer"), "ok attached 1.11.54 drawer");
    EXPECT_EQ(sim_.execute("stations"), "ok 2 1.11.54:drawer:on 1.22.4a:testdev:on");
    EXPECT_EQ(sim_.execute("away 1 0x22 0x4a"), "ok taken away 1.22.4a");
    EXPECT_FALSE(sim_.engine().station(1, 0x22, 0x4A)->present());
    EXPECT_EQ(sim_.execute("stations"), "ok 2 1.11.54:drawer:on 1.22.4a:testdev:away");
    EXPECT_EQ(sim_.execute("back 1 0x22 0x4a"), "ok brought back 1.22.4a");
    EXPECT_TRUE(sim_.engine().station(1, 0x22, 0x4A)->present());
    EXPECT_EQ(sim_.execute("detach 1 0x22 0x4a"), "ok detached 1.22.4a");
    EXPECT_EQ(sim_.engine().station(1, 0x22, 0x4A), nullptr);
    EXPECT_EQ(sim_.execute("stations"), "ok 1 1.11.54:drawer:on");
    EXPECT_EQ(log_, (std::vector<std::string>{"attached testdev at 1.22.4a", "attached drawer at 1.11.54",
                                              "1.22.4a taken away", "1.22.4a brought back",
                                              "1.22.4a detached"}));
}

TEST_F(SimulatorTest, BadCommandsGetAReasonAndChangeNothing) {
    ASSERT_EQ(sim_.execute("attach 1 0x22 0x4a testdev"), "ok attached 1.22.4a testdev");
    struct Case {
        const char* command;
        const char* reply;
    } cases[] = {
        {"", "error empty command"},
        {"frob 1 2 3", "error unknown command frob (try help)"},
        {"attach 1 0x22 0x4a testdev", "error cannot attach at 1.22.4a"},
        {"attach 0 0x11 0x30 testdev", "error cannot attach at 0.11.30"},
        {"attach 1 0x33 0x30 testdev", "error cannot attach at 1.33.30"},
        {"attach 1 0x11 0x7a testdev", "error cannot attach at 1.11.7a"},
        {"attach 1 0x11 0x30 nosuch", "error unknown model nosuch"},
        {"attach 1 0x11 0x30 testdev colour=red", "error testdev: unknown option colour"},
        {"attach 1 0x11 0x30 testdev type=70000", "error testdev: option type must be"},
        {"attach 1 0x11 0x30 testdev type", "error expected key=value"},
        {"attach 1 0x11", "error usage: attach"},
        {"detach 1 0x11 0x30", "error no station at 1.11.30"},
        {"away 1 0x11 0x30", "error no station at 1.11.30"},
        {"back 9 0x11 0x30", "error usage: back"},
        {"received 1 0x11", "error usage: received"},
        {"received 1 0x11 0x30", "error no station at 1.11.30"},
        {"error 1", "error usage: error"},
        {"error 0 0x13 0x11 0x30", "error slot 0 takes no such error record"},
        {"error 1 0x13 0x11 0x30 0x", "error usage: error"},
        {"event 1 4", "error slot 1 takes no event bit 4"},
        {"event 1 8", "error usage: event"},
        {"keyboard id=1 id=2", "error option id given twice"},
        {"ident 1 0x22 0x4a", "error usage: ident"},
        {"ident 1 0x11 0x30 5", "error no station at 1.11.30"},
        {"open 1 0x22 0x4a 1", "error testdev at 1.22.4a takes no command open"},
        {"push 1 0x22 0x4a 0g", "error usage: push"},
        {"polllist x", "error usage: polllist"},
        {"clear now", "error usage: clear"},
    };
    for (const Case& c : cases) {
        const std::string reply = sim_.execute(c.command);
        EXPECT_EQ(reply.compare(0, std::strlen(c.reply), c.reply), 0) << c.command << " -> " << reply;
    }
    EXPECT_EQ(sim_.execute("stations"), "ok 1 1.22.4a:testdev:on");
}

TEST_F(SimulatorTest, ReceivedListsTheFramesEachStationGot) {
    ASSERT_EQ(sim_.execute("attach 1 0x22 0x4a testdev"), "ok attached 1.22.4a testdev");
    ASSERT_EQ(sim_.execute("attach 1 0x11 0x54 drawer"), "ok attached 1.11.54 drawer");
    SendFrames({OutFrame::broadcastReset(0x22), OutFrame::make(0x22, 0x4A, 0x83),
                OutFrame::make(0x22, 0x4A, 0x00, {0x01})});
    EXPECT_EQ(sim_.execute("received 1 0x22 0x4a"), "ok 1.22.4a=3,*03:0040,83,00:01");
    EXPECT_EQ(sim_.execute("received"), "ok 1.11.54=0 1.22.4a=3,*03:0040,83,00:01");
    // The test device answered the identification (type 34900 by default).
    EXPECT_EQ(sim_.execute("payloads 1 0x22 0x4a"), "ok 1 01");
    EXPECT_EQ(sim_.execute("clear"), "ok cleared");
    EXPECT_EQ(sim_.execute("received 1 0x22 0x4a"), "ok 1.22.4a=0");
}

TEST_F(SimulatorTest, ErrorsEventsAndTheKeyboardReachTheNodes) {
    EXPECT_EQ(sim_.execute("error 1 0x20 0x22 0x4a 0102"), "ok error 20 for 1.22.4a queued");
    EXPECT_EQ(sim_.execute("event 1 7"), "ok event 7 queued");
    int fd = -1;
    ASSERT_EQ(sim_.engine().open("/dev/ovkdcs", fd), 0);
    std::vector<uint8_t> rec(2060, 0);
    rec[4] = 1;
    sim_.engine().ioctl(fd, DCS_WAIT_BUFFER, rec.data(), rec.size());
    ASSERT_EQ(rec[0], 0);
    NodeInput in;
    std::string why;
    ASSERT_TRUE(decodeNodeInput(rec.data() + 12, exch::kBufferSize, in, why)) << why;
    EXPECT_TRUE(in.events & 0x80);
    ASSERT_EQ(in.errors.size(), 1u);
    EXPECT_EQ(in.errors[0], (ErrorRecord{0x20, 0x22, 0x4A, {0x01, 0x02}}));
    sim_.engine().close(fd);

    EXPECT_EQ(sim_.execute("keyboard id=0x87ab type=8 flags=0x04 msr=0 ec=0x31"),
              "ok keyboard driver=1 id=0x87ab type=8 msr=0 flags=0x04 ec=0x31 msrec=0x00 result=0");
    unsigned char kbd[16] = {};
    ASSERT_EQ(sim_.keyboard().open("/dev/ovkikbps", fd), 0);
    sim_.keyboard().ioctl(fd, KeyboardNode::kQueryKeyboard, kbd, sizeof kbd);
    EXPECT_EQ(kbd[0], 0);
    EXPECT_EQ(kbd[4] | kbd[5] << 8, 0x87AB);
    EXPECT_EQ(kbd[6], 8);
    EXPECT_EQ(kbd[10], 0x31);
    EXPECT_EQ(kbd[13], 0x04);
    sim_.keyboard().close(fd);
    EXPECT_EQ(sim_.execute("keyboard driver=0"),
              "ok keyboard driver=0 id=0x87ab type=8 msr=0 flags=0x04 ec=0x31 msrec=0x00 result=0");
    EXPECT_EQ(sim_.keyboard().open("/dev/ovkikbps", fd), ENODEV);
}

TEST_F(SimulatorTest, ReaderCommandsAndTheReaderOnTheKeyboardNode) {
    ASSERT_EQ(sim_.execute("attach 1 0x11 0x48 msr encoder=1"), "ok attached 1.11.48 msr");
    EXPECT_EQ(sim_.execute("swipe 1 0x11 0x48 ABC 12 -"), "ok swipe 00020341424302313200");
    EXPECT_EQ(sim_.execute("trackerror 1 0x11 0x48 2"), "ok trackerror 2");
    EXPECT_EQ(sim_.execute("swipe 1 0x11 0x48 A 12"), "ok swipe 0006014100" "00");
    EXPECT_EQ(sim_.execute("trackerror 1 0x11 0x48 4"), "error usage: trackerror <slot> <port> <address> <track 1-3>");
    EXPECT_EQ(sim_.execute("swipe 1 0x11 0x48 A"), "error usage: swipe <slot> <port> <address> <t1> <t2> [<t3>] (-: no data)");
    EXPECT_EQ(sim_.execute("written 1 0x11 0x48"), "ok 0");
    EXPECT_EQ(sim_.execute("attach 1 0x11 0x46 msr kind=4"), "error msr: option kind must be 3, 2, 1 or j");

    // The reader behind the node: a read takes the oldest message, cut to the caller's
    // maximum; an empty queue gives status 0 and length 0.
    sim_.execute("keyboard id=0x1234");
    EXPECT_EQ(sim_.execute("nodeswipe A -"), "error the keyboard behind the node has no reader");
    sim_.execute("keyboard id=0x87ab type=1 msr=1 msrec=0x22");
    EXPECT_EQ(sim_.execute("nodeswipe AB 1 -"), "ok queued 0002020041420100310000");
    EXPECT_EQ(sim_.execute("nodepush 0102"), "ok queued 0102");
    int fd = -1;
    ASSERT_EQ(sim_.keyboard().open("/dev/ovkikbps", fd), 0);
    std::vector<uint8_t> rec(KeyboardNode::kReadRecordSize, 0xEE);
    rec[4] = 4, rec[5] = 0, rec[6] = 0, rec[7] = 0;
    sim_.keyboard().ioctl(fd, KeyboardNode::kReadReader, rec.data(), rec.size());
    EXPECT_EQ(rec[0], 0);
    EXPECT_EQ(rec[4], 4);
    EXPECT_EQ(std::vector<uint8_t>(rec.begin() + 8, rec.begin() + 12), (std::vector<uint8_t>{0, 2, 2, 0}));
    rec[4] = 100;
    sim_.keyboard().ioctl(fd, KeyboardNode::kReadReader, rec.data(), rec.size());
    EXPECT_EQ(rec[4], 2);
    EXPECT_EQ(rec[9], 2);
    sim_.keyboard().ioctl(fd, KeyboardNode::kReadReader, rec.data(), rec.size());
    EXPECT_EQ(rec[0], 0);
    EXPECT_EQ(rec[4], 0);
    unsigned char info[16] = {};
    sim_.keyboard().ioctl(fd, KeyboardNode::kQueryKeyboard, info, sizeof info);
    EXPECT_EQ(info[11], 0x22);
    unsigned char config[16] = {0, 0, 0, 0, 16, 0, 1, 0};
    sim_.keyboard().ioctl(fd, KeyboardNode::kReaderConfiguration, config, sizeof config);
    sim_.keyboard().close(fd);
    EXPECT_EQ(sim_.execute("keyboard"),
              "ok keyboard driver=1 id=0x87ab type=1 msr=1 flags=0x00 ec=0x00 msrec=0x22 result=0 "
              "config=00000000100001000000000000000000");
    sim_.execute("keyboard id=0x88ab");
    EXPECT_EQ(sim_.execute("nodeswipe AB 1"), "ok queued 20020131024142");
}

TEST_F(SimulatorTest, ModelCommandsActOnTheirStation) {
    ASSERT_EQ(sim_.execute("attach 1 0x11 0x54 drawer drawer2=0"), "ok attached 1.11.54 drawer");
    EXPECT_EQ(sim_.execute("open 1 0x11 0x54 1"), "ok open drawer 1");
    EXPECT_EQ(sim_.execute("open 1 0x11 0x54 1"), "error no change");
    EXPECT_EQ(sim_.execute("open 1 0x11 0x54 2"), "error no change"); // unplugged
    EXPECT_EQ(sim_.execute("drawers 1 0x11 0x54"),
              "ok drawer1=open drawer2=unplugged alarm=off");
    EXPECT_EQ(sim_.execute("payloads 1 0x11 0x54"), "ok 0");
    ASSERT_EQ(sim_.execute("attach 1 0x22 0x4a testdev"), "ok attached 1.22.4a testdev");
    EXPECT_EQ(sim_.execute("ident 1 0x22 0x4a 0x1234"), "ok type 4660");
    EXPECT_EQ(sim_.execute("push 1 0x22 0x4a 0a0b"), "ok queued 2 bytes");
    ASSERT_EQ(sim_.execute("attach 1 0x11 0x22 oper"), "ok attached 1.11.22 oper");
    EXPECT_EQ(sim_.execute("text 1 0x11 0x22 0"), "ok [                    ]");
    const std::string models = sim_.execute("models");
    EXPECT_NE(models.find("testdev(ident,payloads,push)"), std::string::npos) << models;
    EXPECT_NE(models.find("drawer(close,drawers,open,payloads,plug,reject,unplug)"), std::string::npos) << models;
}

// --- the program ---------------------------------------------------------------------------

// ovksim of the staging root with `args`, standard error to `errorFile`.
bool startOvksim(ChildProcess& p, const std::vector<std::string>& args, const std::string& errorFile) {
    std::vector<std::string> all{std::string(OVK_STAGING_ROOT) + "/usr/bin/ovksim"};
    all.insert(all.end(), args.begin(), args.end());
    return p.Start(all, errorFile);
}

// The first line of standard output ("" when none came within 10 s).
std::string firstLine(ChildProcess& p) {
    std::string line;
    return p.ReadLine(line) ? line : "";
}

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class OvksimProgram : public ::testing::Test {
protected:
    TempRoot root_;
    ChildProcess sim_;
};

TEST_F(OvksimProgram, ServesTheNodesAndTheControlSocketThenEndsCleanly) {
    root_.write("/etc/term", "slot 0 planar\nslot 2 rs485 type 5 kind 5 ports 2\n"
                             "keyboard id=0x88ab msr=1\nstation 2 0x11 0x54 drawer\n");
    ASSERT_TRUE(startOvksim(sim_, {"-t", root_.at("/etc/term"), "-l", root_.at("/var/log/ovksim.log")},
                            root_.at("/err")));
    ASSERT_EQ(firstLine(sim_), "ovksim ready") << root_.read("/err");

    // The core's helpers reach the node through its socket.
    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    unsigned char info[220] = {};
    EXPECT_EQ(chDevIoctl(fd, DCS_GET_SLOT_INFO, info, sizeof info, 0), 0);
    uint32_t slotTypes[9];
    std::memcpy(slotTypes, info + 40, sizeof slotTypes);
    EXPECT_EQ(slotTypes[0], 1u);
    EXPECT_EQ(slotTypes[2], 2u);
    unsigned char dcs[16] = {};
    dcs[4] = 2;
    EXPECT_EQ(chDevIoctl(fd, DCS_GET_DCS_INFO, dcs, sizeof dcs, 0), 0);
    EXPECT_EQ(dcs[8], 5);
    EXPECT_EQ(dcs[12], 2);

    // A peer that sends garbage loses its own connection only.
    const int raw = connectTo(root_.at("/dev/ovkdcs"));
    ASSERT_GE(raw, 0);
    const unsigned char garbage[8] = {0x0D, 0x77, 0xDC, 0x80, 0x01, 0x00, 0x00, 0x00};
    ASSERT_EQ(::send(raw, garbage, sizeof garbage, MSG_NOSIGNAL), 8);
    pollfd p{raw, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    char byte;
    EXPECT_EQ(::recv(raw, &byte, 1, 0), 0);
    ::close(raw);
    std::memset(info, 0, sizeof info);
    EXPECT_EQ(chDevIoctl(fd, DCS_GET_SLOT_INFO, info, sizeof info, 0), 0);
    EXPECT_EQ(chDevClose(fd), 0);

    int kbd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkikbps", kbd), 0);
    unsigned char record[16] = {};
    EXPECT_EQ(chDevIoctl(kbd, KeyboardNode::kQueryKeyboard, record, sizeof record, 0), 0);
    EXPECT_EQ(record[4] | record[5] << 8, 0x88AB);
    EXPECT_EQ(record[8], 1);
    EXPECT_EQ(chDevClose(kbd), 0);

    {
        SimControl control(root_.at("/tmp/.ovksim"));
        ASSERT_TRUE(control.connected());
        EXPECT_EQ(control.Run("stations"), "ok 1 2.11.54:drawer:on");
        EXPECT_EQ(control.Run(std::string(3000, 'x')), "error line longer than 1024 characters");
        EXPECT_EQ(control.Run("attach 2 0x22 0x4a testdev"), "ok attached 2.22.4a testdev");
        EXPECT_EQ(control.Run("bogus"), "error unknown command bogus (try help)");
        SimControl second(root_.at("/tmp/.ovksim"));
        EXPECT_EQ(second.Run("stations"), "ok 2 2.11.54:drawer:on 2.22.4a:testdev:on");
    }
    // The program as a client of a running simulator: the reply, and the status for it.
    ChildProcess client;
    ASSERT_TRUE(startOvksim(client, {"-x", "away 2 0x11 0x54"}, root_.at("/err-client")));
    EXPECT_EQ(firstLine(client), "ok taken away 2.11.54");
    EXPECT_EQ(client.Wait(), 0);
    ChildProcess refused;
    ASSERT_TRUE(startOvksim(refused, {"-x", "away 2 0x11 0x55"}, root_.at("/err-client")));
    EXPECT_EQ(firstLine(refused), "error no station at 2.11.55");
    EXPECT_EQ(refused.Wait(), 1);

    sim_.Signal(SIGTERM);
    EXPECT_EQ(sim_.Wait(), 0);
    EXPECT_FALSE(exists(root_.at("/dev/ovkdcs")));
    EXPECT_FALSE(exists(root_.at("/dev/ovkikbps")));
    EXPECT_FALSE(exists(root_.at("/tmp/.ovksim")));
    const std::string log = root_.read("/var/log/ovksim.log");
    EXPECT_NE(log.find("attached drawer at 2.11.54"), std::string::npos) << log;
    EXPECT_NE(log.find("control: attach 2 0x22 0x4a testdev -> ok attached 2.22.4a testdev"),
              std::string::npos) << log;
    EXPECT_NE(log.find("stopped"), std::string::npos) << log;
}

// One request on the node: the record after the exchange.
std::vector<uint8_t> nodeCall(int fd, uint32_t request, std::vector<uint8_t> rec) {
    rec.resize(chDevRecordSize(request));
    chDevIoctl(fd, request, rec.data(), static_cast<int>(rec.size()), 0);
    return rec;
}

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

void drain(int fd) {
    char buf[64];
    while (readable(fd) && ::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

// The node's watch tells the core when to come for input without waiting for its interval:
// after a scripting command, and after a buffer that left a station's frame waiting in the
// node (one frame per buffer), but not after a buffer that took everything.
TEST_F(OvksimProgram, WatchIsReadableWhileAStationsFrameWaits) {
    root_.write("/etc/term", "slot 0 planar\nslot 2 rs485 type 5 kind 5 ports 2\n"
                             "station 2 0x11 0x54 drawer\nstation 2 0x11 0x22 oper\n");
    ASSERT_TRUE(startOvksim(sim_, {"-t", root_.at("/etc/term"), "-l", root_.at("/var/log/ovksim.log")},
                            root_.at("/err")));
    ASSERT_EQ(firstLine(sim_), "ovksim ready") << root_.read("/err");
    const int watch = chDevWatch("/dev/ovkdcs");
    ASSERT_GE(watch, 0);
    SimControl control(root_.at("/tmp/.ovksim"));
    ASSERT_TRUE(control.connected());
    // The watch is registered once the simulator has read its request: a command tells it.
    pollfd w{watch, POLLIN, 0};
    for (int i = 0; i < 50 && ::poll(&w, 1, 100) == 0; ++i)
        EXPECT_EQ(control.Run("stations"), "ok 2 2.11.22:oper:on 2.11.54:drawer:on");
    ASSERT_TRUE(readable(watch));
    drain(watch);

    int fd = -1;
    ASSERT_EQ(chDevOpen("/dev/ovkdcs", fd), 0);
    std::vector<uint8_t> slot(8, 0);
    slot[4] = 2;
    ASSERT_EQ(nodeCall(fd, DCS_RESET_ADAPTER, slot)[0], 0);
    auto waitBuffer = [&] { return nodeCall(fd, DCS_WAIT_BUFFER, slot); };
    auto returnBuffer = [&](const CoreOutput& out) {
        std::array<uint8_t, exch::kBufferSize> buf;
        EXPECT_TRUE(encodeCoreOutput(out, buf));
        std::vector<uint8_t> rec(slot);
        rec.insert(rec.end(), buf.begin(), buf.end());
        EXPECT_EQ(nodeCall(fd, DCS_RETURN_BUFFER, rec)[0], 0);
    };
    ASSERT_EQ(waitBuffer()[0], 0); // the buffer after the reset
    CoreOutput list;
    list.flags = exch::kFlagPollList;
    list.pollList[0] = PollEntry{0x11, 0x54};
    list.pollList[1] = PollEntry{0x11, 0x22};
    returnBuffer(list);
    EXPECT_FALSE(readable(watch));

    // Both stations answer their first poll (request online): one frame per buffer.
    ASSERT_EQ(waitBuffer()[0], 0);
    EXPECT_TRUE(readable(watch));
    drain(watch);
    returnBuffer(CoreOutput{});
    ASSERT_EQ(waitBuffer()[0], 0);
    EXPECT_FALSE(readable(watch));

    EXPECT_EQ(chDevClose(fd), 0);
    ::close(watch);
    sim_.Signal(SIGTERM);
    EXPECT_EQ(sim_.Wait(), 0);
}

TEST_F(OvksimProgram, RefusesABadDescriptionAndAFileInPlaceOfANode) {
    root_.write("/etc/term", "slot 1 rs485 type 5\nstation 1 0x22 0x4a nosuch\n");
    ASSERT_TRUE(startOvksim(sim_, {"-t", root_.at("/etc/term")}, root_.at("/err")));
    EXPECT_EQ(sim_.Wait(), 1);
    EXPECT_NE(root_.read("/err").find("line 2: unknown model nosuch"), std::string::npos) << root_.read("/err");

    root_.write("/dev/ovkdcs", "not a socket");
    ChildProcess second;
    ASSERT_TRUE(startOvksim(second, {}, root_.at("/err2")));
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(root_.read("/err2").find("exists and is not a socket"), std::string::npos);
    EXPECT_EQ(root_.read("/dev/ovkdcs"), "not a socket");
}

} // namespace

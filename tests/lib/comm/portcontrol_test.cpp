#include "Device.h"
#include "PortControl.h"
#include "PtyPorts.h"
#include "fakedev.h"

#include <gtest/gtest.h>

#include <linux/lp.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class PortControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakedev::reset();
        ovkCommSetDevOps(fakedev::ops());
        node = ptys.add(0);
        fakedev::addPort(node);
        fd = portctl::openSerial(node, -1);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override {
        if (fd >= 0) portctl::closeSerial(fd, -1);
        ovkCommSetDevOps(nullptr);
        fakedev::reset();
    }
    PtyPorts ptys;
    std::string node;
    int fd = -1;
};

TEST_F(PortControlTest, LineSettingsReadBack) {
    EXPECT_EQ(portctl::flowControl(fd), 0) << "opened without flow control";
    ASSERT_EQ(portctl::setParams(fd, 9600, 8, 2, 0), 0);
    EXPECT_EQ(portctl::baudRate(fd), 9600);
    EXPECT_EQ(portctl::stopBits(fd), 2);
    ASSERT_EQ(portctl::setParams(fd, 115200, 7, 1, 2), 0);
    EXPECT_EQ(portctl::baudRate(fd), 115200);
    EXPECT_EQ(portctl::stopBits(fd), 1);
    EXPECT_EQ(portctl::dataBits(fd), 7);
    EXPECT_EQ(portctl::parity(fd), 2);
    ASSERT_EQ(portctl::setParams(fd, 1234, 9, 3, 7), 0) << "unknown values leave the settings";
    EXPECT_EQ(portctl::baudRate(fd), 115200);
    EXPECT_EQ(portctl::dataBits(fd), 7);
    EXPECT_EQ(portctl::parity(fd), 2);
    ASSERT_EQ(portctl::setParams(fd, 2400, 5, 1, 1), 0);
    EXPECT_EQ(portctl::dataBits(fd), 5);
    EXPECT_EQ(portctl::parity(fd), 1);
}

TEST_F(PortControlTest, FlowControlModes) {
    const struct {
        int set, get;
    } rows[] = {{12, 12}, {4, 4}, {8, 8}, {1, 3}, {2, 3}, {3 | 8, 11}, {0, 0}};
    for (const auto& r : rows) {
        EXPECT_EQ(portctl::setFlowControl(fd, r.set), r.set);
        EXPECT_EQ(portctl::flowControl(fd), r.get) << "mode " << r.set;
    }
}

TEST_F(PortControlTest, ModemLines) {
    EXPECT_EQ(portctl::setLine(fd, TIOCM_DTR, true), 0);
    EXPECT_EQ(portctl::setLine(fd, TIOCM_RTS, true), 0);
    EXPECT_EQ(fakedev::modemLines(node), TIOCM_DTR | TIOCM_RTS);
    EXPECT_EQ(portctl::setLine(fd, TIOCM_DTR, false), 0);
    EXPECT_FALSE(portctl::line(fd, TIOCM_DTR));
    EXPECT_TRUE(portctl::line(fd, TIOCM_RTS));
    fakedev::toggleLines(node, TIOCM_CTS | TIOCM_CD);
    EXPECT_TRUE(portctl::line(fd, TIOCM_CTS));
    EXPECT_TRUE(portctl::line(fd, TIOCM_CD));
    EXPECT_FALSE(portctl::line(fd, TIOCM_RNG));
    EXPECT_FALSE(portctl::line(fd, TIOCM_DSR));
}

TEST_F(PortControlTest, WithoutTheFakeAPtyHasNoModemLines) {
    ovkCommSetDevOps(nullptr);
    EXPECT_FALSE(portctl::line(fd, TIOCM_CTS));
    EXPECT_EQ(portctl::setLine(fd, TIOCM_DTR, true), 0) << "lines unreadable: result 0";
    EXPECT_EQ(portctl::printerStatus(fd), -1);
}

TEST_F(PortControlTest, PrinterStatus) {
    fakedev::setPrinterStatus(node, LP_PERRORP | LP_PSELECD | LP_PBUSY);
    EXPECT_EQ(portctl::printerStatus(fd), LP_PERRORP | LP_PSELECD | LP_PBUSY);
}

TEST(PortOpen, MissingNodeFails) {
    EXPECT_EQ(portctl::openSerial("/tmp/qc-no-such-node", -1), -1);
    EXPECT_EQ(portctl::openParallel("/tmp/qc-no-such-node", -1), -1);
}

} // namespace

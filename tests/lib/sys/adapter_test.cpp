// The adapter base: open count, the devices waiting for deletion, ports and docked state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ADAPTER.h"
#include "PDEV.h"
#include "TempRoot.h"
#include "ovkhost.h"

namespace {

class BareAdapter : public ADAPTER {
public:
    BareAdapter() : ADAPTER(1, 5, "BAREADAP") {}
    int CloseDD() override { return ADAPTER::CloseDD(); }
    int OpenDD() override { return ADAPTER::OpenDD(); }
    int Run(int, int) override { return 0; }
    int RequestBuffer() override { return ADAPTER::RequestBuffer(); }
    int SendFrame(const unsigned char* r, int n) override { return ADAPTER::SendFrame(r, n); }
    int Suspend() override { return 0; }
    int Resume() override { return 0; }
    void SetPorts(int count, std::vector<unsigned char> ports) {
        portCount_ = count;
        for (size_t i = 0; i < ports.size() && i < 4; ++i) validPorts_[i] = ports[i];
    }
};

std::vector<std::string> g_calls;

class RecordingDevice : public PDEV {
public:
    explicit RecordingDevice(unsigned char address) : PDEV(DeviceID(1, 0x11, address), "RECDEV") {}
    ~RecordingDevice() override { g_calls.push_back("delete " + std::to_string(id_.device)); }
    int Close(const VDEV* vdev, int& remaining) override {
        g_calls.push_back("close " + std::to_string(id_.device));
        return PDEV::Close(vdev, remaining);
    }
    int Term() override {
        g_calls.push_back("term " + std::to_string(id_.device));
        return 0;
    }
};

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovkhost::clearCaptures();
        g_calls.clear();
    }
    TempRoot root_;
};

TEST_F(AdapterTest, ConstructionDefaults) {
    BareAdapter a;
    EXPECT_EQ(a.GetSlotNumber(), 1);
    EXPECT_EQ(a.GetAdapterType(), 5);
    EXPECT_EQ(a.GetOpenCount(), 0);
    EXPECT_EQ(a.GetPortCount(), -1);
    EXPECT_EQ(a.GetRunFlag(), 1);
    EXPECT_EQ(a.GetStartedFlag(), 0);
    EXPECT_EQ(a.GetPollListStale(), 0);
    EXPECT_EQ(a.GetDeviceList(), nullptr); // no system object, so no slot to take it from
    EXPECT_EQ(std::vector<unsigned char>(a.GetValidPorts(), a.GetValidPorts() + 4),
              (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(a.Init(), 0);
    EXPECT_EQ(a.Term(), 0);
    EXPECT_EQ(a.NvramRead(nullptr, 0), 321);
    EXPECT_EQ(a.NvramWrite(nullptr, 0), 321);
    EXPECT_EQ(a.PowerRequest(nullptr, 0), 321);
    a.StopRunning();
    EXPECT_EQ(a.GetRunFlag(), 0);
}

TEST_F(AdapterTest, OpenAndCloseCount) {
    BareAdapter a;
    int remaining = 7;
    EXPECT_EQ(a.Close(nullptr, remaining), 0);
    EXPECT_EQ(remaining, 0);
    EXPECT_EQ(a.GetOpenCount(), 0);
    a.Open(nullptr);
    a.Open(nullptr);
    EXPECT_EQ(a.Close(nullptr, remaining), 0);
    EXPECT_EQ(remaining, 1);
    EXPECT_EQ(a.Close(nullptr, remaining), 0);
    EXPECT_EQ(remaining, 0);
}

TEST_F(AdapterTest, DestroyedWhileDevicesAreOpenIsLogged) {
    {
        BareAdapter a;
        a.Open(nullptr);
    }
    ASSERT_TRUE(ovkhost::errorLogged(101));
    EXPECT_EQ(ovkhost::errorLog()[0].extra, 1u);
}

TEST_F(AdapterTest, ValidatePortLooksAtTheFirstPortCountEntries) {
    BareAdapter a;
    for (int port : {0x00, 0x11, 0x22, 0xFF}) EXPECT_EQ(a.ValidatePort(port), 328) << port;
    a.SetPorts(1, {0x11, 0x22});
    EXPECT_EQ(a.ValidatePort(0x11), 0);
    EXPECT_EQ(a.ValidatePort(0x22), 328);
    a.SetPorts(2, {0x11, 0x22});
    EXPECT_EQ(a.ValidatePort(0x22), 0);
}

TEST_F(AdapterTest, NotDockedAddressesKeepTen) {
    BareAdapter a;
    EXPECT_EQ(a.GetDockedState(), 1);
    a.AddNotDockedAddress(0x42);
    a.ResetDockedState();
    EXPECT_EQ(a.GetDockedState(), 0);
    EXPECT_EQ(a.GetNotDockedCount(), 0);
    for (unsigned char address = 1; address <= 11; ++address) a.AddNotDockedAddress(address);
    EXPECT_EQ(a.GetNotDockedCount(), 10);
    EXPECT_TRUE(a.IsNotDockedAddress(10));
    EXPECT_FALSE(a.IsNotDockedAddress(11));
    a.SetDockedState();
    EXPECT_EQ(a.GetDockedState(), 1);
}

TEST_F(AdapterTest, DevicesReadyForDeletionAreClosedTerminatedAndDeleted) {
    BareAdapter a;
    auto* first = new RecordingDevice(0x30);
    auto* second = new RecordingDevice(0x31);
    first->Open(nullptr);
    second->Open(nullptr);
    EXPECT_EQ(a.PdevReadyToBeDeleted(first), 0);
    EXPECT_EQ(a.PdevReadyToBeDeleted(second), 0);
    a.DeleteAnyReadyPdevs();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"close 48", "term 48", "delete 48", "close 49",
                                                 "term 49", "delete 49"}));
    g_calls.clear();
    a.DeleteAnyReadyPdevs();
    EXPECT_TRUE(g_calls.empty());
    EXPECT_FALSE(ovkhost::errorLogged(302));
}

TEST_F(AdapterTest, BaseBodiesOfTheDriverOperationsLogAndRefuse) {
    BareAdapter a;
    const unsigned char record[3] = {1, 2, 3};
    struct Case {
        int rc;
        uint32_t log;
    };
    for (Case c : {Case{a.CloseDD(), 103}, Case{a.OpenDD(), 104}, Case{a.RequestBuffer(), 105},
                   Case{a.SendFrame(record, 3), 106}}) {
        EXPECT_EQ(c.rc, 321);
        EXPECT_TRUE(ovkhost::errorLogged(c.log)) << c.log;
    }
    auto log = ovkhost::errorLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[3].blocks.back(), (std::vector<uint8_t>{1, 2, 3}));
}

} // namespace

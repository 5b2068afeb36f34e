// The MSR provider end to end: ovkmgmtsvc serves a QORVEL reader and an OEM keyboard, and
// ovkcimhost runs the staged libcimmsr.so as a CIM server would. The test process takes an
// IPC namespace of its own (where it may), which the programs it starts share.
#include <gtest/gtest.h>

#include <sched.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempRoot.h"

namespace {

const char kInstances[] =
    "instance UPOS_MSR\n"
    "field DeviceID string 3\n"
    "field ManufacturerName string QORVEL\n"
    "field Enabled boolean true\n"
    "field Count uint32 12\n"
    "field Total uint64 3000000000\n"
    "instance UPOS_MSR\n"
    "field DeviceID string 4\n"
    "field ManufacturerName string OEM\n"
    "field DeviceCategory string Keyboard\n";

const std::string kInstanceLines =
    "  DeviceID string 3\n"
    "  ManufacturerName string QORVEL\n"
    "  Enabled boolean true\n"
    "  Count uint32 12\n"
    "  Total uint64 3000000000\n";

class MsrE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::unshare(CLONE_NEWIPC); }

    void TearDown() override {
        if (service_.Running()) {
            service_.Signal(SIGTERM);
            service_.Wait();
        }
    }

    // Starts ovkmgmtsvc on a free port with `args` and writes the port into the properties
    // file the bridge reads.
    void StartService(const std::vector<std::string>& args = {}, const std::string& instances = kInstances) {
        root_.write("/etc/instances", instances);
        std::vector<std::string> argv{OVKMGMTSVC_PROGRAM, "-f", root_.at("/etc/instances"), "-p", "0"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(service_.Start(argv, root_.at("/service.err")));
        std::string line;
        ASSERT_TRUE(service_.ReadLine(line)) << root_.read("/service.err");
        const std::string ready = "ovkmgmtsvc ready on port ";
        ASSERT_EQ(line.rfind(ready, 0), 0u) << line;
        root_.write("/opt/qorvel/javapos/etc/sysmgmt.properties",
                    "[default]\nupos.requestSocket.Port=" + line.substr(ready.size()) + "\n");
    }

    // Lines the service printed up to its end ("request ...", "most open at once N").
    std::vector<std::string> StopService() {
        service_.Signal(SIGTERM);
        std::vector<std::string> lines;
        std::string line;
        while (service_.ReadLine(line)) lines.push_back(line);
        EXPECT_EQ(service_.Wait(), 0);
        return lines;
    }

    // Starts ovkcimhost for one operation on root/cimv2:UPOS_MSR.
    bool StartHost(ChildProcess& host, const std::string& operation, const std::vector<std::string>& keys = {}) {
        std::vector<std::string> argv{OVKCIMHOST_PROGRAM, CIMMSR_LIBRARY, "UPOS_MSR", "root/cimv2", "UPOS_MSR", operation};
        argv.insert(argv.end(), keys.begin(), keys.end());
        return host.Start(argv, root_.at("/host.err"));
    }

    // Its whole output, and its exit status in *status.
    std::string Output(ChildProcess& host, int* status) {
        std::string out, line;
        while (host.ReadLine(line, 20000)) out += line + "\n";
        *status = host.Wait(20000);
        return out;
    }

    std::string Host(const std::string& operation, const std::vector<std::string>& keys = {}) {
        ChildProcess host;
        if (!StartHost(host, operation, keys)) return "(not started)";
        int status = -1;
        std::string out = Output(host, &status);
        EXPECT_EQ(status, 0) << root_.read("/host.err");
        return out;
    }

    TempRoot root_;
    ChildProcess service_;
};

TEST_F(MsrE2E, EnumInstanceNamesGivesOnePath) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    EXPECT_EQ(Host("enumInstanceNames"), "path root/cimv2:UPOS_MSR.DeviceID=\"3\"\ndone 1\nstatus 0\n");
}

TEST_F(MsrE2E, EnumInstancesGivesTheReaderWithItsFiveProperties) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    EXPECT_EQ(Host("enumInstances"), "instance root/cimv2:UPOS_MSR\n" + kInstanceLines + "done 1\nstatus 0\n");
}

TEST_F(MsrE2E, GetInstanceByKeyOnTheRefsPath) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    EXPECT_EQ(Host("getInstance", {"DeviceID=3"}),
              "instance root/cimv2:UPOS_MSR.DeviceID=\"3\"\n" + kInstanceLines + "done 1\nstatus 0\n");
    EXPECT_EQ(Host("getInstance", {"DeviceID=9"}), "instance root/cimv2:UPOS_MSR.DeviceID=\"9\"\ndone 1\nstatus 0\n");
    EXPECT_EQ(Host("getInstance"), "instance root/cimv2:UPOS_MSR\ndone 1\nstatus 0\n");
    const std::vector<std::string> lines = StopService();
    ASSERT_EQ(lines.size(), 3u); // two requests (none for the ref without a key) and the count
    EXPECT_NE(lines[0].find("<type>getInstance</type><class>UPOS_MSR</class><id>3</id>"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("<id>9</id>"), std::string::npos) << lines[1];
}

TEST_F(MsrE2E, BooleansAreFalseOnlyForAStartOfFalse) {
    ASSERT_NO_FATAL_FAILURE(StartService({}, "instance UPOS_MSR\n"
                                             "field DeviceID string 5\n"
                                             "field ManufacturerName string QORVEL\n"
                                             "field Upper boolean FALSE\n"
                                             "field Short boolean fal\n"
                                             "field Empty boolean\n"));
    EXPECT_EQ(Host("getInstance", {"DeviceID=5"}),
              "instance root/cimv2:UPOS_MSR.DeviceID=\"5\"\n"
              "  DeviceID string 5\n"
              "  ManufacturerName string QORVEL\n"
              "  Upper boolean true\n"
              "  Short boolean false\n"
              "  Empty boolean false\n"
              "done 1\nstatus 0\n");
}

TEST_F(MsrE2E, UnsupportedOperationsAnswerSeven) {
    ASSERT_NO_FATAL_FAILURE(StartService());
    for (const char* op : {"createInstance", "setInstance", "deleteInstance", "execQuery"})
        EXPECT_EQ(Host(op), "done 0\nstatus 7\n") << op;
    EXPECT_EQ(Host("cleanup"), "done 0\nstatus 0\n");
}

TEST_F(MsrE2E, TwoHostsAtOnceNeverHoldTwoConnections) {
    ASSERT_NO_FATAL_FAILURE(StartService({"-H", "300"}));
    ChildProcess first, second;
    ASSERT_TRUE(StartHost(first, "enumInstances"));
    ASSERT_TRUE(StartHost(second, "enumInstances"));
    int s1 = -1, s2 = -1;
    const std::string expected = "instance root/cimv2:UPOS_MSR\n" + kInstanceLines + "done 1\nstatus 0\n";
    EXPECT_EQ(Output(first, &s1), expected);
    EXPECT_EQ(Output(second, &s2), expected);
    EXPECT_EQ(s1, 0);
    EXPECT_EQ(s2, 0);
    const std::vector<std::string> lines = StopService();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.back(), "most open at once 1");
}

TEST_F(MsrE2E, NoServiceGivesNoItems) {
    root_.write("/opt/qorvel/javapos/etc/sysmgmt.properties", "[default]\nupos.requestSocket.Port=1\n");
    EXPECT_EQ(Host("enumInstances"), "done 1\nstatus 0\n");
}

} // namespace

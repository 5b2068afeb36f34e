// The MSR provider in process: a recording broker stands in for the CIM server, the
// management service runs in the test process, and the test has an IPC namespace of its own
// (where it may) so that the provider's semaphore is private to it.
#include <sched.h>
#include <sys/ipc.h>
#include <sys/sem.h>

#include <string>
#include <vector>

#include "BridgeFixture.h"
#include "RecordingBroker.h"
#include "ovkcmpi.h"

extern "C" {
CMPIInstanceMI* UPOS_MSR_Create_InstanceMI(CMPIBroker* broker, CMPIContext* ctx);
int getType(char* typeText);
extern CMPIInstanceMIFT instMIFT__;
CMPIStatus UPOSMgmtModifyInstance(CMPIInstanceMI*, CMPIContext*, CMPIResult*, CMPIObjectPath*, CMPIInstance*, char**);
}

// How gtest shows a property.
void PrintTo(const RecordingBroker::Property& p, std::ostream* os) { *os << p.name << " " << p.type << " " << p.value; }

namespace {

using Property = RecordingBroker::Property;

const std::vector<Property> kReaderProperties = {{"DeviceID", "string", "3"},
                                                 {"ManufacturerName", "string", "QORVEL"},
                                                 {"Enabled", "boolean", "true"},
                                                 {"Count", "uint32", "12"},
                                                 {"Total", "uint64", "3000000000"}};

class ProviderTest : public BridgeTest {
protected:
    static void SetUpTestSuite() {
        // A private semaphore 1234 where the test may have one (as root); else the shared one.
        ::unshare(CLONE_NEWIPC);
    }

    void SetUp() override {
        mi_ = UPOS_MSR_Create_InstanceMI(broker_.broker(), broker_.context());
        ASSERT_NE(mi_, nullptr);
        ref_ = broker_.NewPath("root/cimv2", "UPOS_MSR");
    }

    CMPIStatus Run(const std::string& operation) {
        CMPIInstanceMIFT* ft = mi_->ft;
        CMPIContext* ctx = broker_.context();
        CMPIResult* r = broker_.result();
        char* none[] = {nullptr};
        if (operation == "enumInstanceNames") return ft->enumInstanceNames(mi_, ctx, r, ref_);
        if (operation == "enumInstances") return ft->enumInstances(mi_, ctx, r, ref_, none);
        return ft->getInstance(mi_, ctx, r, ref_, none);
    }

    RecordingBroker broker_;
    CMPIInstanceMI* mi_ = nullptr;
    CMPIObjectPath* ref_ = nullptr;
};

TEST_F(ProviderTest, FunctionTableInItsOrder) {
    EXPECT_EQ(mi_->ft, &instMIFT__);
    EXPECT_EQ(instMIFT__.ftVersion, 80);
    EXPECT_EQ(instMIFT__.miVersion, 80);
    EXPECT_STREQ(instMIFT__.miName, "instanceUPOS_MSR");
    EXPECT_EQ(instMIFT__.cleanup(mi_, broker_.context()).rc, static_cast<CMPIrc>(CMPI_RC_OK));
}

TEST_F(ProviderTest, EnumInstanceNamesGivesThePathWithTheDeviceIdKey) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    EXPECT_EQ(Run("enumInstanceNames").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_EQ(broker_.ReturnedPaths(), std::vector<std::string>{"root/cimv2:UPOS_MSR.DeviceID=\"3\""});
    EXPECT_EQ(broker_.DoneCount(), 1);
}

TEST_F(ProviderTest, EnumInstancesGivesTypedProperties) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    ASSERT_EQ(broker_.ReturnedInstances().size(), 1u);
    EXPECT_EQ(broker_.ReturnedInstances()[0].path, "root/cimv2:UPOS_MSR");
    EXPECT_EQ(broker_.ReturnedInstances()[0].properties, kReaderProperties);
}

TEST_F(ProviderTest, GetInstanceByDeviceId) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    RecordingBroker::AddKey(ref_, "DeviceID", "3");
    EXPECT_EQ(Run("getInstance").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    ASSERT_EQ(broker_.ReturnedInstances().size(), 1u);
    EXPECT_EQ(broker_.ReturnedInstances()[0].path, "root/cimv2:UPOS_MSR.DeviceID=\"3\"");
    EXPECT_EQ(broker_.ReturnedInstances()[0].properties, kReaderProperties);
    EXPECT_NE(service_->Requests().at(0).find("<id>3</id>"), std::string::npos);
}

TEST_F(ProviderTest, GetInstanceOfAnUnknownDeviceOrWithoutTheKeyHasNoProperties) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    EXPECT_EQ(Run("getInstance").rc, static_cast<CMPIrc>(CMPI_RC_OK)); // no key
    RecordingBroker::AddKey(ref_, "DeviceID", "9");
    EXPECT_EQ(Run("getInstance").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    ASSERT_EQ(broker_.ReturnedInstances().size(), 2u);
    EXPECT_EQ(broker_.ReturnedInstances()[0].path, "root/cimv2:UPOS_MSR");
    EXPECT_TRUE(broker_.ReturnedInstances()[0].properties.empty());
    EXPECT_EQ(broker_.ReturnedInstances()[1].path, "root/cimv2:UPOS_MSR.DeviceID=\"9\"");
    EXPECT_TRUE(broker_.ReturnedInstances()[1].properties.empty());
    // Only the request with a key reached the service.
    EXPECT_EQ(service_->Requests().size(), 1u);
}

TEST_F(ProviderTest, ValuesByType) {
    ASSERT_NO_FATAL_FAILURE(StartService("instance UPOS_MSR\n"
                                         "field ManufacturerName string QORVEL\n"
                                         "field B1 boolean FALSE\n"
                                         "field B2 boolean fal\n"
                                         "field B3 boolean\n"
                                         "field B4 boolean false\n"
                                         "field B5 boolean falsely\n"
                                         "field U32 uint32 4294967295\n"
                                         "field U32Over uint32 4294967296\n"
                                         "field U64 uint64 18446744073709551615\n"
                                         "field U64Minus uint64 -1\n"
                                         "field Uint uint 7\n"
                                         "field Untyped - 8\n"
                                         "field I32 int32 -5\n"
                                         "field Other real 1.5\n"));
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    ASSERT_EQ(broker_.ReturnedInstances().size(), 1u);
    const std::vector<Property> expected = {{"ManufacturerName", "string", "QORVEL"},
                                            {"B1", "boolean", "true"},
                                            {"B2", "boolean", "false"},
                                            {"B3", "boolean", "false"},
                                            {"B4", "boolean", "false"},
                                            {"B5", "boolean", "true"},
                                            {"U32", "uint32", "4294967295"},
                                            {"U32Over", "uint32", "4294967295"},
                                            {"U64", "uint64", "18446744073709551615"},
                                            {"U64Minus", "uint64", "0"},
                                            {"Uint", "uint64", "7"},
                                            {"Untyped", "uint64", "8"}};
    EXPECT_EQ(broker_.ReturnedInstances()[0].properties, expected);
}

TEST(ProviderTypes, TypeCodes) {
    const struct {
        const char* text;
        int code;
    } cases[] = {{"string", 1}, {"boolean", 2}, {"uint32", 3}, {"int32", 4}, {"uint64", 5}, {"uint", 5},
                 {"", 5},       {"s", 1},       {"bool", 2},   {"int", 4},   {"real", 0},   {"stringx", 0}};
    for (const auto& c : cases) EXPECT_EQ(getType(const_cast<char*>(c.text)), c.code) << c.text;
}

TEST_F(ProviderTest, InstanceWithoutDeviceIdGivesNoPath) {
    ASSERT_NO_FATAL_FAILURE(StartService("instance UPOS_MSR\nfield ManufacturerName string QORVEL\n"
                                         "field deviceid string 1\n"));
    EXPECT_EQ(Run("enumInstanceNames").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_TRUE(broker_.ReturnedPaths().empty());
    EXPECT_EQ(broker_.DoneCount(), 1);
}

TEST_F(ProviderTest, NullObjectsFromTheBrokerSkipTheItem) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    broker_.failNewObjectPath = true;
    EXPECT_EQ(Run("enumInstanceNames").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    broker_.failNewObjectPath = false;
    broker_.failNewInstance = true;
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    RecordingBroker::AddKey(ref_, "DeviceID", "3");
    EXPECT_EQ(Run("getInstance").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_TRUE(broker_.ReturnedPaths().empty());
    EXPECT_TRUE(broker_.ReturnedInstances().empty());
    EXPECT_EQ(broker_.DoneCount(), 4);
}

TEST_F(ProviderTest, NoServiceGivesNoItemsAndAnEmptyInstance) {
    WritePort(1);
    EXPECT_EQ(Run("enumInstanceNames").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    RecordingBroker::AddKey(ref_, "DeviceID", "3");
    EXPECT_EQ(Run("getInstance").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_TRUE(broker_.ReturnedPaths().empty());
    ASSERT_EQ(broker_.ReturnedInstances().size(), 1u);
    EXPECT_TRUE(broker_.ReturnedInstances()[0].properties.empty());
}

TEST_F(ProviderTest, ChangesAndQueriesAreNotSupported) {
    CMPIInstanceMIFT* ft = mi_->ft;
    CMPIContext* ctx = broker_.context();
    CMPIResult* r = broker_.result();
    CMPIInstance* inst = CMNewInstance(broker_.broker(), ref_, nullptr);
    char* none[] = {nullptr};
    char lang[] = "WQL", query[] = "select * from UPOS_MSR";
    const CMPIrc notSupported = CMPI_RC_ERR_NOT_SUPPORTED;
    EXPECT_EQ(ft->createInstance(mi_, ctx, r, ref_, inst).rc, notSupported);
    EXPECT_EQ(ft->setInstance(mi_, ctx, r, ref_, inst, none).rc, notSupported);
    EXPECT_EQ(ft->deleteInstance(mi_, ctx, r, ref_).rc, notSupported);
    EXPECT_EQ(ft->execQuery(mi_, ctx, r, ref_, lang, query).rc, notSupported);
    EXPECT_EQ(UPOSMgmtModifyInstance(mi_, ctx, r, ref_, inst, none).rc, notSupported);
    EXPECT_EQ(notSupported, 7u);
}

TEST_F(ProviderTest, SemaphoreIsFreeAfterEachOperation) {
    ASSERT_NO_FATAL_FAILURE(StartService(kTwoDevices));
    EXPECT_EQ(Run("enumInstances").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    const int id = ::semget(1234, 1, 0);
    ASSERT_GE(id, 0);
    EXPECT_EQ(::semctl(id, 0, GETVAL), 1);
    EXPECT_EQ(Run("enumInstanceNames").rc, static_cast<CMPIrc>(CMPI_RC_OK));
    EXPECT_EQ(::semctl(id, 0, GETVAL), 1);
}

} // namespace

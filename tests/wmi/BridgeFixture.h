// Fixture of the bridge tests: a private root whose properties file names the port of a
// management service run in this process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MgmtService.h"
#include "TempRoot.h"
#include "UPOSConnector.h"

class BridgeTest : public ::testing::Test {
protected:
    void TearDown() override {
        service_.reset();
        UPOSConnector::SetTimeout(30000);
    }

    // Starts the service with the instances of an instance file and writes its port into the
    // properties file.
    void StartService(const std::string& instanceFile, MgmtService::Options options = {}) {
        std::vector<MgmtInstance> instances;
        std::string error;
        ASSERT_TRUE(ParseInstances(instanceFile, instances, error)) << error;
        service_ = std::make_unique<MgmtService>(std::move(instances), options);
        ASSERT_TRUE(service_->Start(0, error)) << error;
        WritePort(service_->Port());
    }

    // The service answers every request with this document.
    void StartServiceAnswering(const std::string& document, MgmtService::Options options = {}) {
        ASSERT_NO_FATAL_FAILURE(StartService("", options));
        service_->SetReplyDocument(document);
    }

    void WritePort(unsigned port) {
        root_.write("/opt/qorvel/javapos/etc/sysmgmt.properties",
                    "[default]\nupos.requestSocket.Port=" + std::to_string(port) + "\n");
    }

    TempRoot root_;
    std::unique_ptr<MgmtService> service_;
};

// A QORVEL reader and an OEM keyboard of class UPOS_MSR.
inline const char* kTwoDevices =
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

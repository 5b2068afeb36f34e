// Table-top scanner model 96 on the link: its 12-byte configure command (slot 7), the
// configuration read-back (slot 8) and its replies: three status bytes, then the EC
// level, the configuration echo and label data, each only when announced.
// Models 97 and 98 derive from it.
#pragma once

#include <cstdint>

#include "SCP.h"

enum : unsigned short { SCFB96P_TYPE_ID = 13400, SCFB96V_TYPE_ID = 13500 };

class SCFB96P : public SCP {
public:
    enum { kConfigureLength = 12, kEchoLength = 11 };
    static const unsigned char kDefaultConfigure[kConfigureLength];

    explicit SCFB96P(const DeviceID& id, const char* name = "SCFB96P");
    ~SCFB96P() override;

    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    bool ScannerResetComplete() override;
    int PowerOnResetInProgress() override;
    int NewMsgRcvd(const unsigned char* data, int n) override;

    const unsigned char* Configure() const { return configure_; }
    const unsigned char* Echo() const { return echo_; }

protected:
    // Log ids of a model's reply handling.
    struct ReplyLogs {
        uint32_t length;      // reply or announced part too short (5724)
        uint32_t hardware;    // status 0 bit 5 (306)
        uint32_t echo;        // configuration echo differs (5736)
        uint32_t status1;     // status 1 above 15 (306)
        uint32_t failure;     // the default configuration was rejected (306)
        uint32_t flagEcho;    // flag echo differs (5737); models with flag configuration
        uint32_t flagFailure; // flag configuration rejected (306)
    };
    // The two-label flag configuration of the models that have one.
    struct FlagConfig {
        unsigned char* command; // 9 bytes: 23, then four flag pairs
        unsigned char* echo;    // 8 bytes
    };
    // The reply handling of models 96 to 98; flags is null for model 96.
    int HandleReply(const unsigned char* data, int n, const ReplyLogs& logs, const FlagConfig* flags);
    // The command a rejected configuration falls back to.
    virtual const unsigned char* DefaultConfigure() const { return kDefaultConfigure; }
    // Asks the adapter for a send turn (no online check).
    int SendTurn();

    unsigned char configure_[kConfigureLength];
    unsigned char echo_[kEchoLength] = {};
};

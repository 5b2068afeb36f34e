// The TRJ printer's queue: commands matched by id, the last message handed out put back
// alone when the link loses it.
#include "PRNTTRJ.h"

namespace {

PRNTCMD* asCommand(PRNDLNode* node) { return static_cast<PRNTCMD*>(node); }

void dec(unsigned short& counter) {
    if (counter > 0) --counter;
}

void clearMarks(PRNTCMD* command) { command->sent = command->acknowledged = command->completed = 0; }

} // namespace

OMSGQUEUETRJ::OMSGQUEUETRJ(const DeviceID& id, PRNTP* printer, unsigned short window, unsigned short stations)
    : OMSGQUEUE(id, printer, window, stations) {}

OMSGQUEUETRJ::~OMSGQUEUETRJ() = default;

void OMSGQUEUETRJ::ForgetIfGone() {
    if (!last_ || last_ == outstandingSystem_) return;
    if (sentList_.start() == 0) {
        for (uint32_t i = 0; i < sentList_.count(); ++i) {
            if (sentList_.get() == last_) return;
            sentList_.fwd();
        }
    }
    last_ = nullptr;
}

PRNTCMD* OMSGQUEUETRJ::GetPendingCommand(unsigned short station, int& rc) {
    PRNTCMD* command = OMSGQUEUE::GetPendingCommand(station, rc);
    if (command) last_ = command;
    return command;
}

PRNTCMD* OMSGQUEUETRJ::GetPendingSystemCommand(int& rc) {
    PRNTCMD* command = OMSGQUEUE::GetPendingSystemCommand(rc);
    if (command) last_ = command;
    return command;
}

int OMSGQUEUETRJ::RespondToAck() {
    ForgetIfGone();
    if (!last_) return 0;
    if (last_ == outstandingSystem_ && !outstandingSystem_->acknowledged) return OMSGQUEUE::RespondToAck();
    // The system command is hidden: the oldest unacknowledged sent command takes it.
    PRNTCMD* hidden = outstandingSystem_;
    outstandingSystem_ = nullptr;
    const int rc = OMSGQUEUE::RespondToAck();
    outstandingSystem_ = hidden;
    return rc;
}

int OMSGQUEUETRJ::RespondToCommandCompleteMessage(PRNTCMD* command) {
    if (!command) return 0;
    int rc = 0;
    if (command == outstandingSystem_ && !command->completed) {
        if (last_ == command) last_ = nullptr;
        rc = OMSGQUEUE::RespondToCommandComplete();
    } else {
        PRNTCMD* hidden = outstandingSystem_;
        outstandingSystem_ = nullptr;
        rc = OMSGQUEUE::RespondToCommandComplete();
        outstandingSystem_ = hidden;
    }
    return rc;
}

int OMSGQUEUETRJ::RespondToCommandSuccessMessage(PRNTCMD* command) {
    if (command && command == outstandingSystem_) return 0;
    const int rc = OMSGQUEUE::RespondToCommandSuccess();
    ForgetIfGone();
    return rc;
}

PRNTCMD* OMSGQUEUETRJ::GetOutstandingSystemRequest(int id) {
    if (!outstandingSystem_) return nullptr;
    if (id >= 0 && PRNTCMDTRJ::IdOf(outstandingSystem_) != id) return nullptr;
    return outstandingSystem_;
}

PRNTCMD* OMSGQUEUETRJ::GetOutstandingPendingRequest(int id) {
    if (sentList_.start() != 0) return nullptr;
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->completed) return id < 0 || PRNTCMDTRJ::IdOf(command) == id ? command : nullptr;
        sentList_.fwd();
    }
    return nullptr;
}

const uint32_t* OMSGQUEUETRJ::GetNonCompCmdIDs() {
    ids_.assign(1, 0);
    if (sentList_.start() == 0) {
        const uint32_t n = sentList_.count();
        for (uint32_t i = 0; i < n; ++i) {
            PRNTCMD* command = asCommand(sentList_.get());
            if (!command->completed) ids_.push_back(static_cast<uint32_t>(PRNTCMDTRJ::IdOf(command)));
            sentList_.fwd();
        }
    }
    if (outstandingSystem_) ids_.push_back(static_cast<uint32_t>(PRNTCMDTRJ::IdOf(outstandingSystem_)));
    ids_[0] = static_cast<uint32_t>(ids_.size() - 1);
    return ids_.data();
}

int OMSGQUEUETRJ::RetryLastSentRequest() {
    ForgetIfGone();
    PRNTCMD* command = last_;
    last_ = nullptr;
    if (!command) return 0;
    if (command == outstandingSystem_) {
        outstandingSystem_ = nullptr;
        clearMarks(command);
        systemList_.linkinHead(command);
        return 0;
    }
    if (sentList_.end() != 0 || sentList_.get() != command) return 0;
    sentList_.linkout();
    if (!command->acknowledged) dec(unacknowledged_);
    if (!command->completed) dec(incomplete_);
    if (command->IsChase()) dec(chasesInFlight_);
    clearMarks(command);
    return stationLists_[command->station < stations_ ? command->station : 0].linkinHead(command);
}

int OMSGQUEUETRJ::RetryPendingRequest() {
    // From the tail: each command goes to the head of its list, so every list keeps its order.
    while (sentList_.end() == 0) {
        PRNTCMD* command = asCommand(sentList_.linkout());
        clearMarks(command);
        if (stationLists_[command->station < stations_ ? command->station : 0].linkinHead(command) != 0) break;
    }
    unacknowledged_ = incomplete_ = chasesInFlight_ = 0;
    ForgetIfGone();
    return 0;
}

bool OMSGQUEUETRJ::PromoteSystemCommand(unsigned short code) {
    if (systemList_.start() != 0) return false;
    const uint32_t n = systemList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(systemList_.get());
        if (command->code == code) {
            if (i > 0) systemList_.linkinHead(systemList_.linkout());
            return true;
        }
        systemList_.fwd();
    }
    return false;
}

void OMSGQUEUETRJ::SettleSent(PRNTCMD* command) {
    if (!command || sentList_.start() != 0) return;
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        if (sentList_.get() == command) {
            if (!command->acknowledged) {
                command->acknowledged = 1;
                dec(unacknowledged_);
            }
            if (!command->completed) {
                command->completed = 1;
                dec(incomplete_);
            }
            break;
        }
        sentList_.fwd();
    }
    OMSGQUEUE::RespondToCommandSuccess();
    ForgetIfGone();
}

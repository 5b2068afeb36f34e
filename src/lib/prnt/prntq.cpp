// The outbound command queue of a physical printer.
#include "OMSGQUEUE.h"

#include "PRNTP.h"
#include "ovkhost.h"

namespace {

const char kTag[] = "@(#)prntq.cpp 1.1";

// Log ids of the queue.
enum : uint32_t {
    kLogSystemOutstanding = 19105,
    kLogAckNothingSent = 19106,
    kLogAckAllAcked = 19107,
    kLogCompleteBeforeAck = 19108,
    kLogBadStation = 19109,
    kLogCompleteAllComplete = 19110,
    kLogNeverAcked = 19111,
    kLogBadQueueState = 19118,
};

PRNTCMD* asCommand(PRNDLNode* node) { return static_cast<PRNTCMD*>(node); }

void dec(unsigned short& counter) {
    if (counter > 0) --counter;
}

} // namespace

OMSGQUEUE::OMSGQUEUE(const DeviceID& id, PRNTP* printer, unsigned short window,
                     unsigned short stations)
    : STG("OMSGQUEU"), id_(id), window_(window), printer_(printer),
      stations_(static_cast<unsigned short>(stations == 0 ? 1 : (stations > PRN_MAX_STATIONS ? int(PRN_MAX_STATIONS) : int(stations)))) {}

OMSGQUEUE::~OMSGQUEUE() {
    delete outstandingSystem_;
    outstandingSystem_ = nullptr;
    systemList_.cleanup();
    sentList_.cleanup();
    for (PRNDList& list : stationLists_) list.cleanup();
}

void OMSGQUEUE::Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data, int length) const {
    clErrorLog(logId, rc, extra, kTag, this, static_cast<uint16_t>(sizeof(OMSGQUEUE)), data,
               data ? static_cast<uint16_t>(length) : 0);
}

void OMSGQUEUE::AnswerMarker(PRNTCMD* command) {
    if (!printer_) return;
    if (command->IsChase()) {
        printer_->TellPhys(nullptr, PRN_TP_CHASE_DONE, reinterpret_cast<unsigned char*>(command),
                           static_cast<int>(sizeof(PRNTCMD)));
    } else {
        unsigned short value = command->IsInterleave() ? command->GetInterleaved()
                                                       : command->GetHeadParkedPosition();
        printer_->TellPhys(nullptr, command->IsInterleave() ? PRN_TP_INTERLEAVED : PRN_TP_HEAD_PARKED,
                           reinterpret_cast<unsigned char*>(&value), sizeof value);
    }
}

// ---------------------------------------------------------------------------------------
// Storing.

int OMSGQUEUE::StoreCommand(PRNTCMD* command, unsigned short atHead) {
    if (!command) return 0;
    if (command->station >= stations_) {
        Log(kLogBadStation, 321, command->station, command, sizeof(PRNTCMD));
        return 321;
    }
    PRNDList& list = stationLists_[command->station];
    return atHead ? list.linkinHead(command) : list.append(command);
}

int OMSGQUEUE::StoreSystemCommand(PRNTCMD* command) {
    if (command) systemList_.append(command);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Taking commands for sending.

PRNTCMD* OMSGQUEUE::QueryPendingCommand(unsigned short station, int& rc) {
    rc = 0;
    if (unacknowledged_ > 0 || station >= stations_) return nullptr;
    PRNDList& list = stationLists_[station];
    const uint32_t atEntry = list.count();
    for (uint32_t i = 0; i < atEntry; ++i) {
        if (list.start() != 0) return nullptr;
        PRNTCMD* head = asCommand(list.get());
        if (!head->IsMarker()) {
            if (head->classFlags & PRNTCMD_PIPELINED) return incomplete_ < window_ ? head : nullptr;
            return incomplete_ == 0 ? head : nullptr;
        }
        list.linkout();
        if (sentList_.empty()) {
            AnswerMarker(head);
            delete head;
            continue;
        }
        // Behind sent work: the marker waits in the sent list, already finished, and is
        // answered when the commands before it are retired.
        head->sent = head->acknowledged = head->completed = head->everSent = 1;
        if (head->IsChase()) ++chasesInFlight_;
        sentList_.append(head);
    }
    return nullptr;
}

PRNTCMD* OMSGQUEUE::GetPendingCommand(unsigned short station, int& rc) {
    PRNTCMD* command = QueryPendingCommand(station, rc);
    rc = 0;
    if (!command || station >= stations_) return nullptr;
    PRNDList& list = stationLists_[station];
    list.start();
    list.linkout();
    sentList_.append(command);
    command->sent = command->everSent = 1;
    ++unacknowledged_;
    ++incomplete_;
    return command;
}

PRNTCMD* OMSGQUEUE::GetPendingSystemCommand(int& rc) {
    rc = 0;
    if (systemList_.start() != 0) return nullptr;
    PRNTCMD* command = asCommand(systemList_.linkout());
    if (outstandingSystem_) {
        Log(kLogSystemOutstanding, 321, 0, outstandingSystem_, sizeof(PRNTCMD));
        delete outstandingSystem_;
        rc = 321;
    }
    command->sent = command->everSent = 1;
    outstandingSystem_ = command;
    return command;
}

// ---------------------------------------------------------------------------------------
// Answers of the printer.

int OMSGQUEUE::RespondToAck() {
    if (outstandingSystem_ && !outstandingSystem_->acknowledged) {
        outstandingSystem_->acknowledged = 1;
        return 0;
    }
    if (sentList_.start() != 0) {
        Log(kLogAckNothingSent, 321, 0);
        return 321;
    }
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->acknowledged) {
            command->acknowledged = 1;
            dec(unacknowledged_);
            return 0;
        }
        sentList_.fwd();
    }
    Log(kLogAckAllAcked, 321, n);
    return 321;
}

int OMSGQUEUE::RespondToCommandComplete() {
    if (outstandingSystem_ && !outstandingSystem_->completed) {
        outstandingSystem_->completed = 1;
        int rc = 0;
        if (!outstandingSystem_->acknowledged) {
            Log(kLogCompleteBeforeAck, 321, 0, outstandingSystem_, sizeof(PRNTCMD));
            rc = 321;
        }
        delete outstandingSystem_;
        outstandingSystem_ = nullptr;
        return rc;
    }
    if (sentList_.start() != 0) return 0;
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->completed) {
            command->completed = 1;
            dec(incomplete_);
            return 0;
        }
        sentList_.fwd();
    }
    Log(kLogCompleteAllComplete, 321, n);
    return 321;
}

int OMSGQUEUE::RespondToCommandSuccess() {
    int result = 0;
    const uint32_t atEntry = sentList_.count();
    for (uint32_t i = 0; i < atEntry; ++i) {
        if (sentList_.start() != 0) break;
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->completed) break;
        sentList_.linkout();
        if (command->IsChase()) {
            dec(chasesInFlight_);
            AnswerMarker(command);
        } else if (command->IsMarker()) {
            AnswerMarker(command);
        } else if (!command->acknowledged) {
            Log(kLogNeverAcked, 321, command->classFlags, command, sizeof(PRNTCMD));
            result = 321;
            dec(unacknowledged_);
        }
        delete command;
    }
    return result;
}

int OMSGQUEUE::Retry() {
    if (outstandingSystem_) {
        PRNTCMD* command = outstandingSystem_;
        outstandingSystem_ = nullptr;
        command->sent = command->acknowledged = command->completed = 0;
        systemList_.linkinHead(command);
    }
    // From the tail: each command goes to the head of its list, so every list keeps its order.
    while (sentList_.end() == 0) {
        PRNTCMD* command = asCommand(sentList_.linkout());
        command->sent = command->acknowledged = command->completed = 0;
        stationLists_[command->station < stations_ ? command->station : 0].linkinHead(command);
    }
    unacknowledged_ = incomplete_ = chasesInFlight_ = 0;
    return 0;
}

int OMSGQUEUE::Query(QueueState* state) {
    int rc = chCheckBuffer(state, static_cast<int>(sizeof(QueueState)), CH_ACCESS_WRITE);
    if (rc != 0 || !state) {
        Log(kLogBadQueueState, 321, static_cast<uint32_t>(rc), &state, sizeof state);
        return 321;
    }
    for (unsigned short s = 0; s < stations_; ++s) state->pending[s] = stationLists_[s].count();
    state->sent = static_cast<int16_t>(sentList_.count());
    state->unacknowledged = static_cast<int16_t>(unacknowledged_);
    state->incomplete = static_cast<int16_t>(incomplete_);
    state->chasesInFlight = static_cast<int16_t>(chasesInFlight_);
    state->system = static_cast<int16_t>(systemList_.count());
    state->outstanding = outstandingSystem_ ? 1 : 0;
    return 0;
}

PRNTCMD* OMSGQUEUE::GetOutstanding() {
    if (outstandingSystem_) return outstandingSystem_;
    if (sentList_.start() != 0) return nullptr;
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->completed) return command;
        sentList_.fwd();
    }
    return nullptr;
}

PRNTCMD* OMSGQUEUE::GetSentWork() {
    if (sentList_.start() != 0) return nullptr;
    const uint32_t n = sentList_.count();
    for (uint32_t i = 0; i < n; ++i) {
        PRNTCMD* command = asCommand(sentList_.get());
        if (!command->IsMarker()) return command;
        sentList_.fwd();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Dropping work.

int OMSGQUEUE::DeleteChase(void* owner) {
    auto isOwnChase = [owner](const PRNTCMD* c) {
        return c->owner == owner && c->code >= PRNTCMD_CHASE_CR && c->code <= PRNTCMD_CHASE_DI;
    };
    auto walk = [&](PRNDList& list, bool sent) {
        // From the tail towards the head: removing a node leaves the positions before it.
        for (uint32_t pos = list.count(); pos >= 1; --pos) {
            list.start();
            list.fwd(static_cast<int>(pos - 1));
            PRNTCMD* command = asCommand(list.get());
            if (!command || !isOwnChase(command)) continue;
            list.linkout();
            if (sent) dec(chasesInFlight_);
            delete command;
        }
    };
    walk(sentList_, true);
    for (unsigned short s = 0; s < stations_; ++s) walk(stationLists_[s], false);
    return 0;
}

int OMSGQUEUE::RespondToResumePrinting(unsigned short station) {
    if (station >= stations_) return 0;
    PRNDList& list = stationLists_[station];
    const uint32_t atEntry = list.count();
    if (list.start() != 0) return 0;
    for (uint32_t i = 0; i < atEntry && !list.empty(); ++i) {
        PRNTCMD* command = asCommand(list.get());
        const bool last = list.position() == list.count();
        if (!command->everSent) {
            if (last) break;
            list.fwd();
            continue;
        }
        list.linkout();
        if (command->IsMarker()) AnswerMarker(command);
        delete command;
        if (last) break; // the cursor fell back to the new tail, already looked at
    }
    return 0;
}

int OMSGQUEUE::DiscardData(unsigned short station, unsigned short limit) {
    if (station >= stations_) return 0;
    PRNDList& list = stationLists_[station];
    int deleted = 0;
    while ((limit == 0 || deleted < limit) && list.start() == 0) {
        delete list.linkout();
        ++deleted;
    }
    return deleted;
}

void OMSGQUEUE::FlushSystemCommands() {
    systemList_.cleanup();
    delete outstandingSystem_;
    outstandingSystem_ = nullptr;
}

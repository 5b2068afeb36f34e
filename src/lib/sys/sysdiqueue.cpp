// The command queue of a raw-access proxy: normal and priority lists and the outstanding
// command.
#include "SDIDEVICE.h"

#include "SdiMessages.h"
#include "ovkhost.h"

namespace {
const char kTag[] = "@(#)sysdiqueue.cpp";
}

MessageQueue::MessageQueue() : STG("MsgQueue") {}

MessageQueue::~MessageQueue() {
    delete outstanding_;
    outstanding_ = nullptr;
    DiscardData(0);
    DiscardData(1);
}

int MessageQueue::StoreCommand(SDICMD* command) {
    if (!command) return 0;
    GDList_SDICMD& list = lists_[command->GetQueueID() ? 1 : 0];
    list.end();
    if (list.linkin(command) != 0) {
        clErrorLog(2201, 305, 0, kTag, this, sizeof(MessageQueue));
        return 305;
    }
    return 0;
}

SDICMD* MessageQueue::GetPendingCommand(unsigned short list) {
    if (list > 1 || lists_[list].start() != 0) return nullptr;
    SDICMD* command = lists_[list].linkout();
    if (!command) return nullptr;
    // A command that did not hold the later ones back has gone out; the queue owns it
    // until it is replaced here.
    delete outstanding_;
    outstanding_ = command;
    return command;
}

int MessageQueue::RespondToAck() {
    delete outstanding_;
    outstanding_ = nullptr;
    return 0;
}

int MessageQueue::Retry() {
    if (!outstanding_) return 0;
    GDList_SDICMD& list = lists_[outstanding_->GetQueueID() ? 1 : 0];
    list.start();
    if (list.linkin(outstanding_) != 0) {
        clErrorLog(2202, 305, 0, kTag, this, sizeof(MessageQueue));
        delete outstanding_;
        outstanding_ = nullptr;
        return 305;
    }
    outstanding_ = nullptr;
    return 0;
}

SDICMD* MessageQueue::GetOutstanding() { return outstanding_; }

int MessageQueue::DiscardData(unsigned short list) {
    if (list > 1) return 0;
    int looked = 0;
    while (lists_[list].start() == 0) {
        delete lists_[list].linkout();
        ++looked;
    }
    return looked;
}

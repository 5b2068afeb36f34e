// The outbound command queue of a physical printer: one pending list per station, the list
// of commands sent and not yet finished, and the system commands of which at most one is
// outstanding. It decides when a command may leave (nothing over an unacknowledged frame,
// pipelined commands up to the window, others only when nothing is incomplete), answers the
// chase, interleave and head-park markers in order with the real commands (through the
// printer's TellPhys 9, 16 and 17), and puts back what was sent when the link or the
// printer asks for a retry.
//
// The queue owns every command it holds. It has no lock of its own: its printer's callers
// are serialised by the device lock.
//
// Printer model classes may derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <cstdint>

#include "PRNDList.h"
#include "PRNTCMD.h"
#include "STG.h"
#include "ovktypes.h"

class PRNTP;

// The queue's counters as handed to callers: 28 bytes, little-endian.
struct QueueState {
    uint32_t pending[4];   // pending commands of stations 0-3 (only stations in use written)
    int16_t sent;          // sent-list count
    int16_t unacknowledged;
    int16_t incomplete;
    int16_t chasesInFlight;
    int16_t system;        // system-list count
    int16_t outstanding;   // 1 while a system command is outstanding
};
static_assert(sizeof(QueueState) == 28, "QueueState is 28 bytes");

class OMSGQUEUE : public STG {
public:
    OMSGQUEUE(const DeviceID& id, PRNTP* printer, unsigned short window, unsigned short stations);
    // Deletes the outstanding system command, then every list with its commands.
    ~OMSGQUEUE() override;

    // Takes command (a null one is ignored): appended to its station list, or put at its
    // head. A station beyond the queue's stations is refused (321, logged) and the command
    // stays the caller's.
    virtual int StoreCommand(PRNTCMD* command, unsigned short atHead);
    virtual int StoreSystemCommand(PRNTCMD* command);
    // The next command of station that may leave now, or null; markers at the head are
    // answered or moved to the sent list on the way.
    virtual PRNTCMD* QueryPendingCommand(unsigned short station, int& rc);
    // QueryPendingCommand, and the command found moves to the sent list as sent.
    virtual PRNTCMD* GetPendingCommand(unsigned short station, int& rc);
    // The next system command, now the outstanding one; null when there is none.
    virtual PRNTCMD* GetPendingSystemCommand(int& rc);
    virtual int RespondToAck();
    virtual int RespondToCommandComplete();
    // Retires the finished commands at the head of the sent list.
    virtual int RespondToCommandSuccess();
    // Everything sent and unfinished goes back to the head of its list.
    virtual int Retry();
    virtual int Query(QueueState* state);
    // The outstanding system command, else the first incomplete sent command, else null.
    virtual PRNTCMD* GetOutstanding();
    // Deletes the chase commands owner queued, wherever they wait.
    virtual int DeleteChase(void* owner);
    // Drops the station's commands that had been sent before (markers answered).
    virtual int RespondToResumePrinting(unsigned short station);
    // Deletes the station's pending commands (all when limit is 0, else at most limit,
    // oldest first); the number deleted.
    virtual int DiscardData(unsigned short station, unsigned short limit);
    virtual void FlushSystemCommands();

    unsigned short GetWindow() const { return window_; }
    unsigned short GetStations() const { return stations_; }
    unsigned short GetUnacknowledged() const { return unacknowledged_; }
    unsigned short GetIncomplete() const { return incomplete_; }
    unsigned short GetChasesInFlight() const { return chasesInFlight_; }
    const PRNDList& StationList(unsigned short station) const { return stationLists_[station & 3]; }
    const PRNDList& SentList() const { return sentList_; }
    const PRNDList& SystemList() const { return systemList_; }
    PRNTCMD* GetOutstandingSystemCommand() const { return outstandingSystem_; }
    // The oldest command of the sent list that is work (no marker), finished or not; null
    // when there is none.
    PRNTCMD* GetSentWork();

protected:
    // Answers a marker command to the printer: TellPhys 9, 16 or 17.
    void AnswerMarker(PRNTCMD* command);
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr,
             int length = 0) const;

    DeviceID id_;
    PRNDList stationLists_[PRN_MAX_STATIONS];
    PRNDList sentList_;
    unsigned short window_;
    unsigned short unacknowledged_ = 0;
    unsigned short incomplete_ = 0;
    unsigned short chasesInFlight_ = 0;
    PRNDList systemList_;
    PRNTCMD* outstandingSystem_ = nullptr;
    PRNTP* printer_;
    unsigned short stations_;
};

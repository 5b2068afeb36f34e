// The physical printer base: one per printer on the RS-485 link. It adds to the link device
// what every printer shares: the outbound command queue, the status words, the DI,
// exclusive-DI, journal-hold, interleave and head-park settings, the answers to the link's
// events, the resume request to the application, and the TellPhys requests through which
// virtual printers and the queue reach it.
//
// What a model supplies: its queue (created in its constructor with its window and station
// count, deleted by its destructor), NewMsgRcvd (the printer's answers), SendAnyPendingMessage
// (the next frame), the system commands (1 reset, 2 after a power-on reset), resume and
// retry, ClearPORResetInProgress, and optionally CopyPrinterStatus and further TellPhys codes
// (caught before passing the rest to PRNTP::TellPhys).
//
// Printer model classes derive from it, so the order of its virtual operations and its
// fields are a fixed interface.
#pragma once

#include <cstdint>

#include "OMSGQUEUE.h"
#include "SIODEVICE.h"
#include "prntdefs.h"

class VDEV;

// A 32-bit status word.
class PrinterStatus {
public:
    virtual ~PrinterStatus() = default;
    virtual uint32_t set(uint32_t mask) { return word_ |= mask; }
    virtual void reset(uint32_t mask) { word_ &= ~mask; }
    virtual operator long() const { return static_cast<long>(word_); }
    uint32_t word() const { return word_; }

private:
    uint32_t word_ = 0;
};

// A message for the application: number and two parameters (12 bytes).
struct PRNTMSG {
    uint32_t msg = 0;
    uint32_t p1 = 0;
    uint32_t p2 = 0;
};
static_assert(sizeof(PRNTMSG) == 12, "PRNTMSG is 12 bytes");

class PRNTP : public SIODEVICE {
public:
    PRNTP(const DeviceID& id, const unsigned char* name);
    PRNTP(const DeviceID& id, const char* name)
        : PRNTP(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~PRNTP() override;

    // The requests of the virtual printers and of the queue (under the device lock).
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override;
    // PDEV::Acquire; a held resume request then goes to the new holder, and a holder that
    // takes a printer still in error is told of the error at once.
    int Acquire(VDEV* vdev) override;
    // PDEV::Release. A holder that leaves a printer in error takes its held work with it,
    // and the printer is resumed as the holder's resume would resume it: an error never
    // outlives the application it was reported to, and the next holder prints only its own.
    // Work that the printer holds without an error (its cover open, paper out, offline) is
    // dropped too, so that it never prints for the next holder.
    int Release(VDEV* vdev) override;

    // The link handlers (NewMsgRcvd and SendAnyPendingMessage stay the model's).
    int CommandResetInProgress() override;
    int LastAckLost(const unsigned char* data, int n) override;
    int LastMsgAcked() override;
    int LastMsgLost(const unsigned char* data, int n) override;
    int PowerOnResetInProgress() override;
    int ResetComplete() override;
    int SequenceResetInProgress(const unsigned char* data, int n) override;

    // Added operations, in this order.
    // TellVirt 2 to the holder with the message; 0 when nobody holds the printer.
    virtual int SendPrinterMessage(const PRNTMSG* message);
    // Once per error: sets resume requested and sends the message now, or keeps it for the
    // next Acquire while nobody holds the printer.
    virtual int RequestResume(const PRNTMSG* message);
    // Work that the link lost on its way, or that the printer may have taken before its
    // power-on (its answer never came): unless the command tolerates a loss, the frame-lost
    // error asks for a resume, so that the work is not sent again unasked. The resume drops
    // it, a retry sends it again. Whether the error was asked.
    bool ReportLostWork(const PRNTCMD* command);
    // A resume requested while nobody holds the printer (nobody was told, or its holder has
    // gone) is given now, without text: the condition behind it is gone, and the printer
    // must come back for the next holder. Nothing while somebody holds it: the resume is
    // theirs to give.
    void ResumeForNobody();
    virtual int DisableDIPrinting();
    virtual int DisableExclusiveDIPrinting();
    virtual int DiscardData();
    virtual int EnableDIPrinting();
    virtual int EnableExclusiveDIPrinting();
    virtual int HoldJournalData(unsigned short hold);
    virtual int SetHeadParkedPosition(unsigned short position);
    virtual int SetInterleaved(unsigned short value);
    // Asks the adapter for a send turn: 317 unless present and confirmed; 0 while a frame
    // is with the link or without an adapter.
    virtual int TellDeviceDataWaiting();
    // Stores the command in its station list and asks for a send turn. 0 once stored (the
    // queue owns it then, whatever the send-turn request gave); otherwise the command stays
    // the caller's.
    virtual int PutQueue(PRNTCMD* command);
    virtual int ResetPrinter();
    // Copies the model's 16-byte raw status; the base has none (0).
    virtual int CopyPrinterStatus(unsigned char* buffer);
    virtual int ClearPORResetInProgress() = 0;
    virtual int ResumePrinting(const unsigned char* resumeString) = 0;
    virtual int RetryPrinting(const unsigned char* retryString) = 0;
    virtual int SystemCommand(unsigned short code) = 0;
    virtual int QueryQueue(QueueState* state);
    // The chase-complete event for a finished chase command, to the holder at this moment.
    virtual int RespondToChase(const PRNTCMD* command);
    // Whether the printer holds its queued work now for a condition that needs the operator
    // (cover open, paper out, a printer error); the model says. Base: no.
    virtual bool HoldsWork() const { return false; }

    OMSGQUEUE* GetQueue() const { return queue_; }
    uint32_t GetStatus() const { return status_.word(); }
    uint32_t GetStatus2() const { return status2_.word(); }
    const PRNTMSG& GetHeldResume() const { return heldResume_; }
    unsigned short GetLostMessages() const { return lostMessages_; }
    unsigned short GetHoldJournal() const { return holdJournal_; }
    unsigned short GetDIPrinting() const { return diPrinting_; }
    unsigned short GetExclusiveDI() const { return exclusiveDI_; }
    unsigned short GetHeadParkedPosition() const { return headParkedPosition_; }
    unsigned short GetInterleaved() const { return interleaved_; }
    bool AwaitingAck() const { return TestStatusBits(PRNTP_AWAITING_ACK); }
    bool ResumeRequested() const { return TestStatusBits(PRNTP_RESUME_REQUESTED); }
    // Whether a send failed only because the device's rejects are being paced: the command
    // stays pending and goes once the pace allows; nothing to log.
    static bool Paced(int rc) { return rc == SIODEV_SEND_PACED; }
    // Releases every hold the calling thread has on the device lock (it is recursive), so
    // that the polling thread can reach the printer while the caller waits; the number of
    // holds released, to take again with Relock.
    int UnlockFully() {
        int holds = 0;
        while (lock_.HeldByCaller() && lock_.Release() == 0) ++holds;
        return holds;
    }
    void Relock(int holds) {
        for (int i = 0; i < holds; ++i) lock_.Acquire(15);
    }

protected:
    // Logs with the printer as first data block.
    void Log(uint32_t logId, uint32_t rc, uint32_t extra, const void* data = nullptr,
             int length = 0) const;

    OMSGQUEUE* queue_ = nullptr;
    PRNTMSG heldResume_;
    PrinterStatus status_;
    PrinterStatus status2_;
    unsigned short lostMessages_ = 0;
    unsigned short stations_ = 3;
    unsigned short holdJournal_ = 0;
    unsigned short diPrinting_ = 0;
    unsigned short exclusiveDI_ = 1;
    unsigned short headParkedPosition_ = 0;
    unsigned short interleaved_ = 0;

private:
    PRNTMSG lastError_;              // the error of the resume request outstanding
    bool sendTurnRefused_ = false;   // the last send-turn request failed (logged once)
};

// A bench for the model-6397 virtual printer: the slot bench with the 6397 physical printer
// at 1.11.35, the simulated 6397 on a bus station behind it (one bus round at a time on the
// settable clock), and virtual printers PRNT63V whose events go to a recording queue of
// their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "PRNT63P.h"
#include "PRNT63V.h"
#include "SlotBench.h"
#include "p6397model.h"

namespace v63bench {

using namespace prntbench;
using bussim::P6397Model;

constexpr unsigned char k63 = 0x35;
inline const DeviceID kId63(kSlot, kPort, k63);

// The physical printer on the capturing adapter; it notes every command its virtual printer
// queues (row and frame), in order, before queueing it.
class Printer63 : public OnAdapter<PRNT63P, k63> {
public:
    using OnAdapter::OnAdapter;
    int TellPhys(const VDEV* sender, int request, unsigned char* data, int length) override {
        if ((request == PRN_TP_PUT_QUEUE || request == PRN63_TP_PUT_CONTROL) && data &&
            length >= static_cast<int>(sizeof(PRNTCMD))) {
            const auto* command = reinterpret_cast<const PRNTCMD*>(data);
            Bytes frame;
            if (command->frame) frame.assign(command->frame, command->frame + command->frameLength);
            queued.push_back({command->code, frame});
        }
        return PRNT63P::TellPhys(sender, request, data, length);
    }
    std::vector<std::pair<int, Bytes>> queued;
};

// A virtual printer driven as the request road drives it (each call under its lock).
class Client63 : public BenchClient<PRNT63V> {
public:
    explicit Client63(int handle, const DeviceID& id = kId63)
        : BenchClient(id, handle, reinterpret_cast<const unsigned char*>("PRNT63V")) {}
    // The bytes go in a buffer of exactly their size, so that a read past them is seen.
    int write(const std::string& bytes, int* count = nullptr) {
        const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
        Lock();
        int n = 0;
        const int rc = Write(exact.empty() ? nullptr : exact.data(), static_cast<unsigned>(exact.size()), n);
        Unlock();
        if (count) *count = n;
        return rc;
    }
    intptr_t get(const char* name, int* rc = nullptr) {
        PosArg a{name, -12345};
        Lock();
        int out = 0;
        const int r = IOCtl(POS_SYS_GET_VALUES, &a, 1, out);
        Unlock();
        if (rc) *rc = r;
        return a.value;
    }
    int tell(int code, unsigned char* data = nullptr, int length = 0) {
        Lock();
        const int rc = TellVirt(pdev_, code, data, length);
        Unlock();
        return rc;
    }
    void useDatabase(XrmDatabase db) { database_ = db; }
    // A station the printer would refuse, for the escapes' station rules.
    void forceStation(unsigned short station) { parm_.printStation = station; }
};

class V63Bench : public ModelBench<Printer63, Client63> {
protected:
    V63Bench() { untilRounds_ = 400; }
    void SetUp() override {
        PRNT63P::ResetFirmwareCheck();
        ModelBench::SetUp();
    }

    // The simulated printer (made with options on first use), brought online.
    // mct: MCT values of the simulated printer (index, value) before its start-up queries.
    void online(P6397Model::Options options = {}, std::vector<std::pair<uint8_t, uint16_t>> mct = {}) {
        station_ = std::make_unique<bussim::Station>(kPort, k63, std::make_unique<P6397Model>(options));
        for (const auto& [index, value] : mct) model().setMct(index, value);
        ASSERT_TRUE(until([&] { return printer_->Confirmed(k63) && printer_->QueriesDone(); }));
        for (int i = 0; i < 5; ++i) round();
        mark();
    }
    P6397Model& model() { return static_cast<P6397Model&>(station_->model()); }

    // Rounds until the printer has nothing queued or outstanding (and a few more).
    void drain() {
        auto idle = [&] {
            QueueState state{};
            printer_->GetQueue()->Query(&state);
            return state.pending[0] + state.pending[1] + state.pending[2] + state.system == 0 &&
                   !state.outstanding && !printer_->CommandOutstanding();
        };
        until(idle);
        for (int i = 0; i < 10; ++i) round();
    }
    // Commands the printer received since the last mark (not the link frames of SlotBench's
    // sent, which this bench hides: its tests read the simulated printer).
    void mark() { seen_ = model().commandCount(); }
    std::vector<Bytes> sent() {
        const auto& all = model().commands();
        const uint64_t fresh = model().commandCount() - seen_;
        std::vector<Bytes> out(all.end() - static_cast<long>(std::min<uint64_t>(fresh, all.size())), all.end());
        mark();
        return out;
    }

    uint64_t seen_ = 0;
};

// Hex of bytes, for messages.
inline std::string hex(const Bytes& b) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : b) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

} // namespace v63bench

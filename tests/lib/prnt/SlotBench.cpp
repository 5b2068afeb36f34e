#include "SlotBench.h"

namespace prntbench {

Slot* buildBenchSlot(unsigned short slotType, unsigned short adapterType, int slot) {
    if (slot != kSlot || slotType != SLOT_TYPE_RS485) return nullptr;
    return new BenchSlot(adapterType, static_cast<unsigned short>(slot));
}

void SlotBench::SetUp() {
    ovkhost::useManualClock(true);
    ovkhost::setClock(500000);
    ovkhost::clearCaptures();
    chSetDevNodeBackend(&node_);
    previousBuilder_ = SetSlotBuilder(buildBenchSlot);
    comd_ = std::make_unique<COMD>();
    ASSERT_EQ(pcomd, comd_.get());
    slot_ = static_cast<BenchSlot*>(comd_->GetSlot(kSlot));
    ASSERT_NE(slot_, nullptr);
    makePrinter();
    slot_->adapter = &adapter_;
    slot_->printer = link();
    ASSERT_EQ(comd_->AddProcess(&procA_), 0);
}

void SlotBench::TearDown() {
    dropClients();
    comd_->RemoveProcess(procA_.GetProcessId());
    slot_->printer = nullptr;
    slot_->adapter = nullptr;
    station_.reset();
    dropPrinter();
    comd_.reset();
    SetSlotBuilder(previousBuilder_);
    chSetDevNodeBackend(nullptr);
    ovkhost::useManualClock(false);
}

void SlotBench::feed(unsigned char control, const Bytes& data) {
    Bytes rec = linkrec::received(kPort, address_, control, data);
    link()->ProcessInput(rec.data(), static_cast<int>(rec.size()));
}

void SlotBench::reply(const Bytes& payload) {
    const int ns = link()->GetReceiveSequence();
    const int nr = link()->GetSendSequence();
    feed(static_cast<unsigned char>((nr & 7) << 5 | (ns & 7) << 1), payload);
}

void SlotBench::cycle(int ms) {
    ovkhost::advanceClock(ms);
    link()->ProcessOutput(chTime());
}

std::vector<linkrec::Sent> SlotBench::sent() {
    std::vector<linkrec::Sent> out;
    for (const Bytes& rec : adapter_.frames) {
        linkrec::Sent f = linkrec::decodeSent(rec);
        EXPECT_TRUE(f.wellFormed && f.checkOk);
        EXPECT_EQ(f.address, address_);
        out.push_back(f);
    }
    adapter_.frames.clear();
    return out;
}

std::vector<Bytes> SlotBench::commands() {
    std::vector<Bytes> out;
    for (const linkrec::Sent& f : sent())
        if (f.info()) out.push_back(f.data);
    return out;
}

bussim::Station& SlotBench::station() {
    if (!station_) station_ = std::make_unique<bussim::Station>(kPort, address_, makeModel());
    return *station_;
}

void SlotBench::round(int ms) {
    bussim::Station& st = station();
    for (const Bytes& rec : adapter_.frames) {
        linkrec::Sent f = linkrec::decodeSent(rec);
        EXPECT_TRUE(f.wellFormed && f.checkOk);
        seen(f);
        st.receive(bussim::LinkFrame{f.control, Bytes(f.data.begin(), f.data.end()), false});
    }
    adapter_.frames.clear();
    ovkhost::advanceClock(ms);
    st.tick(chTime());
    if (std::optional<bussim::LinkFrame> answer = st.poll())
        feed(answer->control, Bytes(answer->data.begin(), answer->data.end()));
    link()->ProcessOutput(chTime());
}

void SlotBench::run(int rounds) {
    for (int i = 0; i < rounds; ++i) round();
}

void SlotBench::comeOnline(int rounds) {
    ASSERT_TRUE(until([&] { return link()->Confirmed(address_); }, rounds));
    run(5);
    queueA_.take();
}

} // namespace prntbench

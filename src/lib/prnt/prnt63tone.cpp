// The tone of a model-6397 printer.
#include "ToneFreq.h"

namespace {
constexpr double kBase = 261.7;   // C of the first octave
constexpr double kStep = 1.0595;  // one note up
constexpr int kMaxSteps = 12 * 16; // far above the highest tone the printer takes
} // namespace

void ToneFreq::setFrequency(uint32_t hz) {
    frequency_ = hz;
    noteSet_ = false;
    // How often hz can be divided by one step while it stays above the base.
    double f = hz;
    int count = 0;
    while (count < kMaxSteps && f / kStep > kBase) {
        f /= kStep;
        ++count;
    }
    octave_ = static_cast<unsigned short>(count / 12);
    note_ = static_cast<unsigned short>(count % 12);
}

uint32_t ToneFreq::getFrequency() const {
    if (!noteSet_) return frequency_;
    double f = kBase;
    for (unsigned short i = 0; i < note_ && i < 12; ++i) f *= kStep;
    for (unsigned short i = 0; i < octave_ && i < 16; ++i) f *= 2;
    return static_cast<uint32_t>(f);
}

void ToneFreq::setNote(unsigned short note) {
    note_ = note;
    noteSet_ = true;
}

void ToneFreq::setOctave(unsigned short octave) {
    octave_ = octave;
    noteSet_ = true;
}

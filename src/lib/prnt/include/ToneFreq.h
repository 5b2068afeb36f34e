// The tone of a model-6397 printer: a frequency in Hz, or a note and an octave of the
// printer's scale (C of the first octave at 261.7 Hz, 1.0595 between neighbouring notes),
// and a volume. Setting the frequency derives the note and octave that lie at or below it;
// setting a note or an octave makes the frequency follow them.
#pragma once

#include <cstdint>

class PRNTP;

class ToneFreq {
public:
    enum { kDefaultFrequency = 2093, kMinFrequency = 261, kMaxFrequency = 3953 };

    explicit ToneFreq(PRNTP* printer = nullptr) : printer_(printer) { setFrequency(kDefaultFrequency); }

    void setFrequency(uint32_t hz);
    // hz, or after setNote/setOctave the frequency of that note and octave (truncated).
    uint32_t getFrequency() const;
    void setNote(unsigned short note);
    void setOctave(unsigned short octave);
    void setVolume(unsigned short volume) { volume_ = volume; }

    unsigned short getNote() const { return note_; }
    unsigned short getOctave() const { return octave_; }
    unsigned short getVolume() const { return volume_; }
    bool noteSet() const { return noteSet_; }
    PRNTP* printer() const { return printer_; }

private:
    bool noteSet_ = false;
    unsigned short note_ = 0;
    unsigned short octave_ = 0;
    unsigned short volume_ = 1;
    uint32_t frequency_ = kDefaultFrequency;
    PRNTP* printer_;
};

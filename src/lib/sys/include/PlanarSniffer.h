// The sniffer of the system board: asks the planar keyboard driver (/dev/ovkikbps) once
// which keyboard is attached and makes the keyboard at application address 0x81 and, where
// the keyboard has one, the magnetic-stripe reader at 0x82.
#pragma once

#include <cstdint>

#include "PDEV.h"

// The planar keyboard driver's request (read-write, type 'k', number 0x0C) and its 16-byte
// record: keyboard id at 4, keyboard type at 6, MSR flag at 8 (16-bit each, little-endian),
// and in byte 13 bit 0x04 "MSR present" (keyboard types 7 to 9).
enum : uint32_t { KBD_QUERY_KEYBOARD = 0xC0106B0C };
enum { KBD_RECORD_SIZE = 16 };
enum : uint16_t { KBD_ID_POS = 0x87AB, KBD_ID_POS_MSR = 0x88AB };

// TellPhys code of the planar adapter's first cycle: make the devices.
enum { PLANAR_MAKE_DEVICES = 1235 };

class PlanarSniffer : public PDEV {
public:
    PlanarSniffer(const DeviceID& id, const unsigned char* name);
    PlanarSniffer(const DeviceID& id, const char* name)
        : PlanarSniffer(id, reinterpret_cast<const unsigned char*>(name)) {}
    ~PlanarSniffer() override;

    int TellPhys(const VDEV* sender, int code, unsigned char* data, int length) override;

    bool Made() const { return made_ != 0; }

protected:
    // Once: DetermineKeyboard.
    void MakeMyPDEVs();
    // Asks the keyboard driver and makes the devices it reports.
    void DetermineKeyboard();
    // Finds or makes, initialises, links in and opens the device at id: 0 or the failure.
    int MakeInitOpenPDEV(const DeviceID& id, long type);

private:
    int32_t made_ = 0;
};

// Factory registered for type 1800: builds PlanarSniffer(id, "SYPLNSNF").
PDEV* _CreatePlanarSniffer(const DeviceID& id);

// ovkscantool: finds the serial scanner on a PC serial port and the settings at which it
// talks, resets it to the configuration the system expects, sets its baud rate, shows its
// firmware level and then the bar codes scanned until a key is pressed.
#include <cstdio>
#include <memory>
#include <string>

#include "ConfigObject.h"
#include "Keyboard.h"
#include "LineScanner.h"
#include "LinuxSerialPort.h"
#include "OmniScanner.h"
#include "Tracer.h"
#include "Util.h"
#include "ZelException.h"

namespace {

// Prints the failure's text (and the code when asked), closes the port and ends.
int fail(SerialPort& port, ZelException* e, const char* before = "", bool withCode = false,
         bool newline = true) {
    std::printf("%s%s", before, e->getMessage().c_str());
    if (withCode) std::printf(": %d", e->getErrorCode());
    if (newline) std::printf("\n");
    delete e;
    port.close();
    return 0;
}

int run(int argc, char** argv) {
    Util::printMainMessage();
    std::unique_ptr<ConfigObject> options;
    try {
        options = std::make_unique<ConfigObject>(argc, argv);
    } catch (ZelException* e) {
        std::printf("%s\n\n", e->getMessage().c_str());
        delete e;
        ConfigObject::printHelp();
        return 0;
    }
    static ConsoleTracerOutput console;
    if (options->isDebugModeSet()) {
        Tracer::getInstance().setOutput(&console);
        Tracer::getInstance().setOn(true);
    }

    LinuxSerialPort port(options->getRequestedPortNumber());
    try {
        port.open();
    } catch (ZelException* e) {
        std::printf("Couldn't open com port: %s\n", e->getMessage().c_str());
        delete e;
        return 0;
    }

    std::unique_ptr<Scanner> scanner;
    std::printf("Detecting OmniScanner...");
    try {
        if (!options->isTryToDetectOmniSet()) throw new ZelException("skipped");
        auto omni = std::make_unique<OmniScanner>(&port, options.get());
        omni->detect();
        std::printf("detected.\n");
        scanner = std::move(omni);
    } catch (ZelException* e) {
        std::printf("%s\n", e->getMessage().c_str());
        delete e;
        std::printf("Detecting LineScanner...");
        try {
            if (!options->isTryToDetectLineSet()) throw new ZelException("skipped");
            auto line = std::make_unique<LineScanner>(&port, options.get());
            line->detect();
            std::printf("detected.\n");
            scanner = std::move(line);
        } catch (ZelException* e2) {
            return fail(port, e2);
        }
    }

    std::printf("Detecting scanner's port settings...(press any key to exit)\n");
    try {
        SerialPortConfig* config = scanner->detectPortConfig();
        std::printf("detected: %s\n", config->toString());
    } catch (ZelException* e) {
        return fail(port, e, "", false, false);
    }

    if (!options->isLeaveCurrentSettingsSet()) {
        try {
            std::printf("Setting defaults...\n");
            scanner->setDefaults();
            std::printf("done.\n");
            std::printf("Redetecting scanner's port settings...(press any key to exit)\n");
            SerialPortConfig* config = scanner->detectPortConfig();
            std::printf("detected: %s\n", config->toString());
        } catch (ZelException* e) {
            return fail(port, e, "", true);
        }
    }

    // Failures of the firmware query and of the preparation end the program like the
    // steps before them.
    const std::string dashes(59, '-');
    try {
        if (options->isRequestedFirmwareSet()) {
            std::printf("%s\n", dashes.c_str());
            std::printf("%s\n", scanner->requestFirmware().c_str());
            std::printf("%s\n", dashes.c_str());
        }
        scanner->prepareToScan();
    } catch (ZelException* e) {
        return fail(port, e);
    }
    std::printf("UPCA, UPCE, EAN8 and EAN13 barcodes enabled.\n");
    std::printf("Please scan UPCA, UPCE, EAN8 and EAN13 barcodes. Press any key to exit.\n");

    Keyboard& keyboard = Keyboard::getInstance();
    keyboard.open();
    while (!keyboard.keyPressed()) {
        try {
            std::unique_ptr<Barcode> code(scanner->scan());
            std::printf("%s barcode decoded\n", code->toString().c_str());
            std::printf("ASCII: %s\n", Util::toASCIIString(code->getData()).c_str());
            std::printf("HEX:   %s\n", Util::toHexString(code->getData()).c_str());
        } catch (ZelException* e) {
            TRACE("%s\n", e->getMessage().c_str());
            delete e;
        }
    }
    keyboard.close();
    if (options->isLeaveLaserOffSet()) {
        try {
            scanner->turnLaserOff();
        } catch (ZelException* e) {
            TRACE("%s\n", e->getMessage().c_str());
            delete e;
        }
    }
    port.close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return run(argc, argv);
}

#include "ConfigObject.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ZelException.h"

namespace {
// The decimal value of the text; 0 when it holds anything but digits.
long digits(const std::string& text) {
    if (text.empty()) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return 0;
    return std::atol(text.c_str());
}
} // namespace

ConfigObject::ConfigObject(int argc, char** argv) {
    for (int i = argc - 1; i >= 1; --i) {
        const std::string a = argv[i];
        if (std::string("-h").compare(0, a.size(), a) == 0) throw new ZelException("Help requested");
        if (a.compare(0, 2, "-p") == 0 && (a.size() == 3 || a.size() == 4)) {
            const long n = digits(a.substr(2));
            if (n == 0) throw new ZelException("Invalid port number");
            if (portSet_) throw new ZelException("Port number setted twice");
            port_ = static_cast<int>(n);
            portSet_ = true;
        } else if (a.compare(0, 2, "-b") == 0 && a.size() >= 5 && a.size() <= 7) {
            const long n = digits(a.substr(2));
            if (n == 0) throw new ZelException("Couldn't recognize baud rate");
            if (baudRequested_) throw new ZelException("Incorrect baud rate submitted");
            setRequestedBaudrate(n);
        } else if (a == "-lo") {
            laserOff_ = true;
        } else if (a == "-sr") {
            smartRaster_ = true;
        } else if (a == "-nc") {
            leaveCurrent_ = true;
        } else if (a == "-no") {
            omni_ = false;
        } else if (a == "-nl") {
            line_ = false;
        } else if (a == "-nf") {
            firmware_ = false;
        } else if (a == "DEBUG_MODE") {
            debug_ = true;
        } else {
            throw new ZelException("Invalid parameter");
        }
    }
}

void ConfigObject::printHelp() {
    const char* name = "ovkscantool";
    std::printf("Usage: %s <parameter>...<parameter>\n", name);
    std::printf("Example: %s -p4 -b9600 -lo -sr\n\n", name);
    std::printf("Parameters:\n");
    std::printf("-h\t\tPrints this help screen.\n");
    std::printf("-px\t\tTests scanner in the specified x port.(default ");
    std::printf("3 = ttyS3)");
    std::printf("\n-bxxxxx\t\tSets baud rate to xxxxx.");
    std::printf("\n-lo\t\tLeaves the laser off.");
    std::printf("\n-sr\t\tSets smart raster mode.(omni only)");
    std::printf("\n-nc\t\tLeaves current configuration.");
    std::printf("\n-no\t\tDon't try to detect an omni scanner.");
    std::printf("\n-nl\t\tDon't try to detect a line scanner.");
    std::printf("\n-nf\t\tDon't request firmware level.");
    std::printf("\n");
}

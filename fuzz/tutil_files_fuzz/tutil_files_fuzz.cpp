// Arbitrary bytes as the utility configuration file and as the device server's resource
// file: each is read and rewritten by the utility classes.
//
// Input: one selector byte (bit 0: which file), then the file's bytes.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../FuzzRoot.h"
#include "CResourceFileConfig.h"
#include "CTouch6348Config.h"

namespace {

void put(const std::string& path, const uint8_t* data, size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzroot::usePrivateRoot();
    for (const char* d : {"/var", "/var/lib", "/var/lib/misc"})
        if (mkdir((fuzzroot::path() + d).c_str(), 0700) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string dir = fuzzroot::path() + "/var/lib/misc";
    if (data[0] & 1) {
        put(dir + "/ovksys.res", data + 1, size - 1);
        CResourceFileConfig res;
        bool entry = false, exit = false, disabled = false;
        res.GetTouchToneConfig(entry, exit, disabled);
        entry = data[0] & 2;
        exit = data[0] & 4;
        disabled = !entry && !exit;
        res.SetTouchToneConfig(entry, exit, disabled);
        res.GetTouchToneConfig(entry, exit, disabled);
    } else {
        put(dir + "/ovktutil.conf", data + 1, size - 1);
        CTouch6348Config config(const_cast<char*>("/var/lib/misc"));
        config.SetScreenResolution(data[0] >> 1);
        config.SetCalibrated(data[0] & 2);
        config.SetRemindCalibrate(data[0] & 4);
        CTouch6348Config again(const_cast<char*>("/var/lib/misc"));
    }
    return 0;
}

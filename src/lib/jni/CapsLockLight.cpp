#include "CapsLockLight.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "jnipath.h"

namespace {
const unsigned char kCapsLock = 0x04;
}

CapsLockLight& CapsLockLight::Instance() {
    static CapsLockLight* light = new CapsLockLight();
    return *light;
}

bool CapsLockLight::Set(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    if (fd_ < 0) {
        fd_ = ::open(jniPath("/dev/console").c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) {
            std::perror("open");
            return false;
        }
    }
    unsigned char lights = 0;
    if (::ioctl(fd_, KDGETLED, &lights) != 0) {
        std::perror("KDGETLED");
        return false;
    }
    lights = on ? (lights | kCapsLock) : (lights & ~kCapsLock);
    if (::ioctl(fd_, KDSETLED, static_cast<unsigned long>(lights)) != 0) {
        std::perror("KDSETLED");
        return false;
    }
    return true;
}

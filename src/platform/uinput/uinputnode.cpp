#include "uinputnode.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "ovkhost.h"

namespace ovkuinput {

UinputNode::UinputNode() = default;

UinputNode::~UinputNode() { close(); }

int UinputNode::open() {
    close();
    recorder_.reset();
    const std::string path = ovkPath("/dev/uinput");
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISCHR(st.st_mode)) return ENODEV;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return errno;
        fd_ = fd;
        kind_ = Kind::Kernel;
        return 0;
    }
    const int missing = errno;
    const char* root = std::getenv("OVK_ROOT");
    if (missing != ENOENT || !root || !*root) return missing;
    recorder_ = std::make_unique<Recorder>(ovkPath("/var/log/uinput.log"));
    kind_ = Kind::Recorder;
    return 0;
}

int UinputNode::ioctl(unsigned long request, unsigned long argument) {
    switch (kind_) {
    case Kind::Kernel: return ::ioctl(fd_, request, argument) < 0 ? -1 : 0;
    case Kind::Recorder: return recorder_->ioctl(request, argument);
    default: errno = EBADF; return -1;
    }
}

long UinputNode::write(const void* data, size_t length) {
    switch (kind_) {
    case Kind::Kernel: return static_cast<long>(::write(fd_, data, length));
    case Kind::Recorder: return recorder_->write(data, length);
    default: errno = EBADF; return -1;
    }
}

void UinputNode::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    kind_ = Kind::None;
}

} // namespace ovkuinput

// Battery-backed memory of the simulator, kept in a file.
#include "nvramstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bussim {

NvramStore::~NvramStore() {
    if (fd_ >= 0) ::close(fd_);
}

bool NvramStore::attachFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (st.st_size == 0) {
        std::fill(bytes_.begin(), bytes_.end(), 0);
        if (!bytes_.empty() && ::pwrite(fd, bytes_.data(), bytes_.size(), 0) != static_cast<ssize_t>(bytes_.size())) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
    } else if (static_cast<uint64_t>(st.st_size) != bytes_.size()) {
        error = path + " holds " + std::to_string(st.st_size) + " bytes, not the " +
                std::to_string(bytes_.size()) + " of this memory";
        ::close(fd);
        return false;
    } else if (::pread(fd, bytes_.data(), bytes_.size(), 0) != static_cast<ssize_t>(bytes_.size())) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    path_ = path;
    return true;
}

std::vector<uint8_t> NvramStore::read(size_t offset, size_t length) const {
    if (!inside(offset, length)) return {};
    return std::vector<uint8_t>(bytes_.begin() + static_cast<long>(offset),
                                bytes_.begin() + static_cast<long>(offset + length));
}

void NvramStore::flush(size_t offset, size_t length) {
    if (fd_ < 0 || length == 0) return;
    ssize_t done = ::pwrite(fd_, bytes_.data() + offset, length, static_cast<off_t>(offset));
    (void)done;
}

bool NvramStore::write(size_t offset, const uint8_t* data, size_t length) {
    if (cut_ || !inside(offset, length)) return false;
    if (whole_ == 0) {
        length = std::min(length, static_cast<size_t>(partial_));
        cut_ = true;
    } else if (whole_ > 0) {
        --whole_;
    }
    if (length) std::memmove(bytes_.data() + offset, data, length);
    flush(offset, length);
    return !cut_;
}

void NvramStore::planCut(int whole, int partial) {
    whole_ = whole < 0 ? 0 : whole;
    partial_ = partial < 0 ? 0 : partial;
}

} // namespace bussim

// Battery-backed memory of the simulator: bytes in memory, kept in a file when one is given
// (written before each answer, read back by a restarted simulator), and a planned power
// cut: a number of writes go through whole, then the first bytes of the next, then the
// device is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bussim {

class NvramStore {
public:
    explicit NvramStore(size_t size = 0) : bytes_(size, 0) {}
    ~NvramStore();
    NvramStore(const NvramStore&) = delete;
    NvramStore& operator=(const NvramStore&) = delete;

    // Keeps the memory in the file at path: a file of the right size is read, a missing one
    // is made of zeros; a file of another size is refused (false with the reason).
    bool attachFile(const std::string& path, std::string& error);
    const std::string& path() const { return path_; }

    size_t size() const { return bytes_.size(); }
    bool inside(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    const uint8_t* data() const { return bytes_.data(); }
    std::vector<uint8_t> read(size_t offset, size_t length) const;

    // Stores bytes (the caller checked the range) and the file with them. With a cut
    // planned, the write may be the one cut: then only its first bytes are stored and the
    // result is false (the device is gone from then on).
    bool write(size_t offset, const uint8_t* data, size_t length);

    // Plans a cut: `whole` more writes go through, then `partial` bytes of the next.
    void planCut(int whole, int partial);
    bool cut() const { return cut_; }

private:
    void flush(size_t offset, size_t length);

    std::vector<uint8_t> bytes_;
    std::string path_;
    int fd_ = -1;
    int whole_ = -1; // -1: no cut planned
    int partial_ = 0;
    bool cut_ = false;
};

} // namespace bussim

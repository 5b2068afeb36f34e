// The node through which the touch mouse emulation creates its pointer device and writes
// its events, in the manner of open/ioctl/write/close on "/dev/uinput":
// - where that node (through ovkPath) is a character device, the kernel's uinput driver
//   takes every request;
// - where OVK_ROOT is set and the node is absent under it, a recorder stands in: it keeps
//   the description and every event (for in-process tests) and writes one line for each
//   to "$OVK_ROOT/var/log/uinput.log";
// - otherwise the node cannot be opened and nothing is created.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ovkuinput {

class Recorder;

// An event as the recorder keeps it.
struct Event {
    uint16_t type;
    uint16_t code;
    int32_t value;
    bool operator==(const Event& o) const {
        return type == o.type && code == o.code && value == o.value;
    }
};

class UinputNode {
public:
    enum class Kind { None, Kernel, Recorder };

    UinputNode();
    ~UinputNode();
    UinputNode(const UinputNode&) = delete;
    UinputNode& operator=(const UinputNode&) = delete;

    // Opens the node read-write as described above: 0, or an errno value (nothing open).
    int open();
    // The kernel's or the recorder's answer to an I/O-control request with an integer
    // argument (UI_SET_EVBIT, UI_SET_KEYBIT, UI_SET_ABSBIT, UI_DEV_CREATE, UI_DEV_DESTROY):
    // 0, or -1 with errno set.
    int ioctl(unsigned long request, unsigned long argument);
    // Writes a uinput_user_dev description (before UI_DEV_CREATE) or whole input_event
    // records (after it): the bytes taken, or -1 with errno set.
    long write(const void* data, size_t length);
    void close();

    Kind kind() const { return kind_; }
    bool isOpen() const { return kind_ != Kind::None; }
    // The recorder of the last open (null when that open found no recorder); it stays
    // readable after close().
    const Recorder* recorder() const { return recorder_.get(); }

private:
    Kind kind_ = Kind::None;
    int fd_ = -1;
    std::unique_ptr<Recorder> recorder_;
};

// What a recorder has been told.
class Recorder {
public:
    explicit Recorder(std::string logPath);

    int ioctl(unsigned long request, unsigned long argument);
    long write(const void* data, size_t length);

    bool created() const { return created_; }
    // The device name of the description ("" before one was written).
    const std::string& name() const { return name_; }
    // Range of an absolute axis as described (0, 0 when not described).
    int32_t absMin(int axis) const;
    int32_t absMax(int axis) const;
    bool eventTypeEnabled(int type) const;
    bool keyEnabled(int code) const;
    bool axisEnabled(int axis) const;
    // The events written since creation, oldest first (at most kEventLimit of the newest).
    static constexpr size_t kEventLimit = 10000;
    const std::vector<Event>& events() const { return events_; }
    // The line the log holds for an event ("EV_ABS ABS_X 31101").
    static std::string describe(const Event& event);

private:
    void log(const std::string& line) const;

    std::string logPath_;
    bool described_ = false;
    bool created_ = false;
    std::string name_;
    std::vector<int32_t> absMin_, absMax_;
    std::vector<int> evBits_, keyBits_, absBits_;
    std::vector<Event> events_;
};

} // namespace ovkuinput

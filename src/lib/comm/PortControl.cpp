#include "PortControl.h"

#include "Device.h"
#include "PortIpc.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace portctl {
namespace {

// termios through the table: glibc's termios begins with the kernel's layout and keeps the
// speed in c_cflag, so TCGETS and TCSETS fill and read it directly.
int getAttr(int fd, termios& t) {
    t = termios{};
    return commOps().ioctl(fd, TCGETS, &t);
}

int setAttr(int fd, const termios& t) {
    return commOps().ioctl(fd, TCSETS, const_cast<termios*>(&t));
}

int openNode(const std::string& node, int semId) {
    if (semId != -1 && portipc::tryLock(semId) != 0) return -1;
    int fd = commOps().open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (semId != -1) portipc::unlock(semId, false);
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

void drain(int fd) { commOps().ioctl(fd, TCSBRK, reinterpret_cast<void*>(1)); }

const struct {
    speed_t code;
    int rate;
} kSpeeds[] = {{B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
               {B150, 150},     {B200, 200},       {B300, 300},       {B600, 600},
               {B1200, 1200},   {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
               {B9600, 9600},   {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
               {B115200, 115200}, {B230400, 230400}};

} // namespace

int openSerial(const std::string& node, int semId) {
    int fd = openNode(node, semId);
    if (fd < 0) return -1;
    termios t;
    if (getAttr(fd, t) != 0) {
        std::fprintf(stderr, "tcgetattr() failed on %s(%d)!\n", node.c_str(), fd);
        return fd;
    }
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | ICRNL | IGNCR | INLCR);
    t.c_oflag &= ~(OPOST | ONLCR | OCRNL | ONOCR | ONLRET);
    t.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOCTL | ECHOKE);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (setAttr(fd, t) != 0) std::fprintf(stderr, "tcsetattr() failed on %s!\n", node.c_str());
    return fd;
}

int openParallel(const std::string& node, int semId) { return openNode(node, semId); }

void closeSerial(int fd, int semId) {
    if (semId != -1) portipc::unlock(semId, true);
    drain(fd);
    commOps().close(fd);
}

void closeParallel(int fd, int semId) {
    drain(fd);
    commOps().close(fd);
    if (semId != -1) portipc::unlock(semId, false);
}

int setParams(int fd, int baud, int dataBits, int stopBits, int parity) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    for (const auto& s : kSpeeds)
        if (s.rate == baud) {
            cfsetispeed(&t, s.code);
            cfsetospeed(&t, s.code);
        }
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits >= 5 && dataBits <= 8) t.c_cflag = (t.c_cflag & ~CSIZE) | sizes[dataBits - 5];
    if (stopBits == 1) t.c_cflag &= ~CSTOPB;
    if (stopBits == 2) t.c_cflag |= CSTOPB;
    if (parity == 0) t.c_cflag &= ~(PARENB | PARODD);
    if (parity == 1) t.c_cflag |= PARENB | PARODD;
    if (parity == 2) t.c_cflag = (t.c_cflag | PARENB) & ~PARODD;
    return setAttr(fd, t) == 0 ? 0 : -1;
}

int setFlowControl(int fd, int mode) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF);
    if (mode & 0x03) t.c_cflag |= CRTSCTS;
    if (mode & 0x04) t.c_iflag |= IXOFF;
    if (mode & 0x08) t.c_iflag |= IXON;
    return setAttr(fd, t) == 0 ? mode : -1;
}

int flowControl(int fd) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    int mode = (t.c_cflag & CRTSCTS) ? 3 : 0;
    if (t.c_iflag & IXOFF) mode += 4;
    if (t.c_iflag & IXON) mode += 8;
    return mode;
}

int baudRate(int fd) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    speed_t code = cfgetospeed(&t);
    for (const auto& s : kSpeeds)
        if (s.code == code) return s.rate;
    return static_cast<int>(code);
}

int dataBits(int fd) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    switch (t.c_cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

int stopBits(int fd) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    return (t.c_cflag & CSTOPB) ? 2 : 1;
}

int parity(int fd) {
    termios t;
    if (getAttr(fd, t) != 0) return -1;
    if (!(t.c_cflag & PARENB)) return 0;
    return (t.c_cflag & PARODD) ? 1 : 2;
}

int setLine(int fd, int bit, bool on) {
    int lines = 0;
    if (commOps().ioctl(fd, TIOCMGET, &lines) != 0) return 0;
    if (on)
        lines |= bit;
    else
        lines &= ~bit;
    return commOps().ioctl(fd, TIOCMSET, &lines);
}

bool line(int fd, int bit) {
    int lines = 0;
    if (commOps().ioctl(fd, TIOCMGET, &lines) != 0) return false;
    return (lines & bit) != 0;
}

int sendBreak(int fd, int duration) { return ::tcsendbreak(fd, duration); }

int printerStatus(int fd) {
    int status = 0;
    if (commOps().ioctl(fd, LPGETSTATUS, &status) != 0) return -1;
    return status;
}

} // namespace portctl

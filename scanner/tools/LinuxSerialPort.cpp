#include "LinuxSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "Tracer.h"
#include "Util.h"
#include "ZelException.h"

std::string LinuxSerialPort::devicePath(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "/dev/ttyS%d", portNumber - 1);
    const char* root = std::getenv("OVK_ROOT");
    return root && *root ? std::string(root) + name : std::string(name);
}

LinuxSerialPort::~LinuxSerialPort() { close(); }

void LinuxSerialPort::open() {
    TRACE("--> open()\n");
    if (open_) return;
    const std::string path = devicePath(portNumber_);
    std::printf("Using %s\n", path.c_str());
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int code = 0;
    if (fd_ < 0)
        code = 1;
    else if (::fcntl(fd_, F_SETFL, 0) < 0) // reads wait by poll; the descriptor itself blocks
        code = 2;
    else if (::tcgetattr(fd_, &settings_) < 0)
        code = 3;
    if (code) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        throw new ZelException(code, "Invalid handle value");
    }
    open_ = true;
    TRACE("<-- open()\n");
}

void LinuxSerialPort::close() {
    if (!open_) return;
    ::close(fd_);
    fd_ = -1;
    open_ = false;
}

void LinuxSerialPort::setConfig(SerialPortConfig* config) {
    if (!open_) return;
    TRACE("--> setConfig(%s)\n", config->toString());
    termios t = settings_;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    t.c_iflag &= ~static_cast<tcflag_t>(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= CREAD | CLOCAL | CS8;
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    switch (config->getParity()) {
    case 'E': t.c_cflag |= PARENB; t.c_iflag |= INPCK; break;
    case 'O': t.c_cflag |= PARENB | PARODD; t.c_iflag |= INPCK; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; t.c_iflag |= INPCK; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; t.c_iflag |= INPCK; break;
    default: break;
    }
    if (config->getStopBits() == '2') t.c_cflag |= CSTOPB;
    if (config->getDataBits() == '7') t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7;
    cfsetispeed(&t, config->getBaudRate().speed);
    cfsetospeed(&t, config->getBaudRate().speed);
    if (::tcsetattr(fd_, TCSANOW, &t) < 0) {
        close();
        throw new ZelException(1, "invalid handle value");
    }
    settings_ = t;
    config_ = config;
    TRACE("<-- setConfig()\n");
}

bool LinuxSerialPort::isCTS() {
    if (!open_) return false;
    Util::sleep(50);
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) < 0) {
        TRACE("modem lines not readable (errno %d): CTS 0\n", errno);
        return false;
    }
    return (lines & TIOCM_CTS) != 0;
}

void LinuxSerialPort::setRTS(bool on) {
    if (!open_) return;
    int rts = TIOCM_RTS;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &rts) < 0) TRACE("RTS not settable (errno %d)\n", errno);
    Util::sleep(50);
}

void LinuxSerialPort::write(const unsigned char* data, int offset, int length) {
    if (!open_) return;
    TRACE("--> write()\n:%s\n", Util::toHexString(data + offset, length).c_str());
    int done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, data + offset + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw new ZelException(1, "couldn't write port");
        done += static_cast<int>(n);
    }
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, readTimeout_);
    TRACE("<-- write()\n");
}

int LinuxSerialPort::waitInput(int ms) {
    pollfd p{fd_, POLLIN, 0};
    int r;
    do r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    return (p.revents & POLLIN) ? 1 : 2;
}

void LinuxSerialPort::read(unsigned char* buffer, int* length) {
    if (!open_) return;
    TRACE("--> read()\n");
    const int size = *length;
    *length = 0;
    switch (waitInput(readTimeout_)) {
    case 0: throw new ZelException(SerialPort::READ_TIMEOUT, "(ERR_0)Timeout while polling port");
    case -1: throw new ZelException(SerialPort::READ_ERROR, "(ERR_1)Error while polling port");
    case 2: throw new ZelException(SerialPort::READ_ERROR, "(ERR_2)No data to read");
    default: break;
    }
    int got = 0;
    // The burst: one byte at a time while each next byte comes within the time-out, never
    // past the caller's buffer.
    while (got < size) {
        const ssize_t n = ::read(fd_, buffer + got, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (got == 0) throw new ZelException(SerialPort::READ_ERROR, "(ERR_3)couldn't read port");
            break;
        }
        ++got;
        if (got < size && waitInput(readTimeout_) != 1) break;
    }
    *length = got;
    TRACE("Bytes read:%d\n%s\n", got, Util::toHexString(buffer, got).c_str());
    TRACE("<-- read()\n");
}

void LinuxSerialPort::flush() {
    if (open_) ::tcflush(fd_, TCIFLUSH);
}

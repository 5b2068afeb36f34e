#include "LogWriter.h"

#include "ovkhost.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace ovkhost {
namespace detail {

LogSink::~LogSink() {
    if (fd_ >= 0) ::close(fd_);
}

void LogSink::append(const std::string& text) { writeAll(fd_, text); }

std::shared_ptr<LogSink> LogSink::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_shared<LogSink>(fd);
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // a full disk or a closed stream: the line is lost, not retried
        done += static_cast<size_t>(n);
    }
}

namespace {

constexpr size_t kMaxQueued = 10000;

struct Item {
    std::shared_ptr<LogSink> sink;
    bool toStderr;
    std::string line;
};

bool isBinary(const Item& item) { return item.sink && item.sink->binary(); }

void writeItem(const Item& item) {
    if (item.sink) item.sink->append(item.line);
    if (item.toStderr) writeAll(STDERR_FILENO, item.line);
}

// Never destroyed: lines may still be logged while static objects are torn down.
class Writer {
public:
    static Writer& instance() {
        static Writer* w = new Writer;
        return *w;
    }

    bool queue(Item item) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopped_) { // after exit began: no thread to hand over to
            lock.unlock();
            writeItem(item);
            return true;
        }
        if (queue_.size() >= kMaxQueued) {
            if (!isBinary(item)) ++dropped_;
            return false;
        }
        queue_.push_back(std::move(item));
        ++queued_;
        if (!thread_.joinable()) start();
        cv_.notify_one();
        return true;
    }

    void flush() {
        std::unique_lock<std::mutex> lock(mutex_);
        uint64_t target = queued_;
        doneCv_.wait_for(lock, std::chrono::seconds(5),
                         [&] { return written_ >= target || stopped_; });
    }

private:
    void start() {
        ownerPid_ = ::getpid();
        thread_ = std::thread([this] { run(); });
        std::atexit([] { instance().stopAtExit(); });
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            // Idle for a second: the counts of held-back error-log entries whose minute has
            // passed are written even when nothing else is logged.
            if (!cv_.wait_for(lock, std::chrono::seconds(1), [&] { return !queue_.empty() || stopping_; })) {
                lock.unlock();
                writeDueLogCounts();
                lock.lock();
                continue;
            }
            if (queue_.empty()) return; // stopping and drained
            Item item = std::move(queue_.front());
            queue_.pop_front();
            uint64_t dropped = 0;
            if (!isBinary(item)) { // the note goes with a text line, never into a trace file
                dropped = dropped_;
                dropped_ = 0;
            }
            lock.unlock();
            if (dropped) {
                Item note{item.sink, item.toStderr,
                          "(" + std::to_string(dropped) + " log lines dropped)\n"};
                writeItem(note);
            }
            writeItem(item);
            item.sink.reset();
            lock.lock();
            ++written_;
            doneCv_.notify_all();
        }
    }

    // Drains the queue at process exit; in a forked child the thread does not exist.
    void stopAtExit() {
        if (::getpid() != ownerPid_) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
        std::deque<Item> rest;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
            rest.swap(queue_);
            doneCv_.notify_all();
        }
        for (const Item& item : rest) writeItem(item);
    }

    std::mutex mutex_;
    std::condition_variable cv_, doneCv_;
    std::deque<Item> queue_;
    uint64_t queued_ = 0, written_ = 0, dropped_ = 0;
    bool stopping_ = false, stopped_ = false;
    pid_t ownerPid_ = 0;
    std::thread thread_;
};

} // namespace

bool queueLine(const std::shared_ptr<LogSink>& sink, bool toStderr, std::string line) {
    if (!sink && !toStderr) return true;
    return Writer::instance().queue(Item{sink, toStderr, std::move(line)});
}

void flushQueue() { Writer::instance().flush(); }

} // namespace detail

void flushLog() {
    detail::writeDueLogCounts();
    detail::flushQueue();
}

} // namespace ovkhost

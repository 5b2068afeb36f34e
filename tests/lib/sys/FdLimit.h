// Sets the soft limit of open descriptors for the life of the object, so that a test can
// reach descriptor numbers above 1023; the limit it found is put back at the end.
#pragma once

#include <sys/resource.h>

class FdLimit {
public:
    explicit FdLimit(rlim_t soft) {
        if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) return;
        allowed_ = saved_.rlim_max == RLIM_INFINITY || saved_.rlim_max >= soft;
        if (!allowed_) return;
        rlimit lim = saved_;
        lim.rlim_cur = soft;
        set_ = ::setrlimit(RLIMIT_NOFILE, &lim) == 0;
    }
    ~FdLimit() {
        if (set_) ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    FdLimit(const FdLimit&) = delete;
    FdLimit& operator=(const FdLimit&) = delete;

    // False when the hard limit is below the wanted one (the test is skipped then).
    bool allowed() const { return allowed_; }
    // True when the limit was set.
    bool set() const { return set_; }

private:
    rlimit saved_{};
    bool allowed_ = false;
    bool set_ = false;
};

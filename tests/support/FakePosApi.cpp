// The scripted client library of the unit tests.
#include "FakePosApi.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "ovkapi.h"

namespace fakepos {
namespace {

struct Answer {
    int result;
    int code;
};

struct State {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, std::deque<Answer>> scripts;
    std::map<std::string, Answer> always;
    std::deque<_POSQMSG> records;
    std::map<std::string, intptr_t> values;
    std::vector<Call> calls;
    int nextHandle = 1;
    int reads = 0;
    bool holdReads = false;
    int heldReads = 0;
};

State& state() {
    static State s;
    return s;
}

thread_local int lastError = 0;

bool Scripted(State& s, const std::string& key, Answer& answer) {
    auto it = s.scripts.find(key);
    if (it != s.scripts.end() && !it->second.empty()) {
        answer = it->second.front();
        it->second.pop_front();
        return true;
    }
    auto a = s.always.find(key);
    if (a == s.always.end()) return false;
    answer = a->second;
    return true;
}

int Give(const Answer& answer) {
    if (answer.result < 0) {
        lastError = answer.code;
        errno = answer.code;
    }
    return answer.result;
}

std::vector<std::pair<std::string, intptr_t>> Args(const PosArg* args, int nargs) {
    std::vector<std::pair<std::string, intptr_t>> out;
    for (int i = 0; args && i < nargs; ++i) out.emplace_back(args[i].name ? args[i].name : "", args[i].value);
    return out;
}

} // namespace

void Reset() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.scripts.clear();
    s.always.clear();
    s.records.clear();
    s.values.clear();
    s.calls.clear();
    s.nextHandle = 1;
    s.reads = 0;
    s.holdReads = false;
    s.changed.notify_all();
}

void Script(const std::string& function, int result, int code) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.scripts[function].push_back(Answer{result, code});
}

void Always(const std::string& function, int result, int code) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.always[function] = Answer{result, code};
}

void QueueRecord(uint32_t msg, uint32_t p1, uint32_t p2) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.records.push_back(_POSQMSG{0, msg, p1, p2});
}

void SetValue(const std::string& name, intptr_t value) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.values[name] = value;
}

std::vector<Call> Calls() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.calls;
}

std::vector<Call> Calls(const std::string& function) {
    std::vector<Call> out;
    for (const Call& c : Calls())
        if (c.function == function) out.push_back(c);
    return out;
}

std::vector<int> Requests() {
    std::vector<int> out;
    for (const Call& c : Calls("PosIOCtl")) out.push_back(c.request);
    return out;
}

bool WaitForReads(int count, int timeoutMs) {
    State& s = state();
    std::unique_lock<std::mutex> g(s.lock);
    return s.changed.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return s.reads >= count; });
}

void HoldReads() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.holdReads = true;
}

void ReleaseReads() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.holdReads = false;
    s.changed.notify_all();
}

bool WaitForHeldRead(int timeoutMs) {
    State& s = state();
    std::unique_lock<std::mutex> g(s.lock);
    return s.changed.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return s.heldReads > 0; });
}

int HeldReads() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.heldReads;
}

} // namespace fakepos

using fakepos::Answer;
using fakepos::Call;
using fakepos::State;
using fakepos::state;

extern "C" {

int PosInitialize(char* applName, char* resFile, int, int, PosArg* args, int nargs) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosInitialize";
    c.name = applName ? applName : "";
    c.klass = resFile ? resFile : "";
    c.args = fakepos::Args(args, nargs);
    s.calls.push_back(c);
    Answer a{0, 0};
    fakepos::Scripted(s, c.function, a);
    return fakepos::Give(a);
}

int PosOpen(char* name, char* className, PosArg* args, int nargs) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosOpen";
    c.name = name ? name : "";
    c.klass = className ? className : "";
    c.args = fakepos::Args(args, nargs);
    s.calls.push_back(c);
    Answer a{s.nextHandle, 0};
    if (!fakepos::Scripted(s, c.function, a)) ++s.nextHandle;
    return fakepos::Give(a);
}

int PosRead(int devdes, void* buf, unsigned int nbytes) {
    State& s = state();
    std::unique_lock<std::mutex> g(s.lock);
    if (devdes == 0 && s.holdReads) {
        ++s.heldReads;
        s.changed.notify_all();
        s.changed.wait(g, [&] { return !s.holdReads; });
        --s.heldReads;
    }
    Call c;
    c.function = "PosRead";
    c.handle = devdes;
    s.calls.push_back(c);
    Answer a{0, 0};
    int result;
    if (fakepos::Scripted(s, c.function, a)) {
        result = fakepos::Give(a);
    } else if (devdes == 0 && !s.records.empty() && nbytes >= sizeof(_POSQMSG)) {
        std::memcpy(buf, &s.records.front(), sizeof(_POSQMSG));
        s.records.pop_front();
        result = static_cast<int>(sizeof(_POSQMSG));
    } else {
        result = fakepos::Give(Answer{-1, devdes == 0 ? POSERR_SYS_TIMEOUT : POSERR_SYS_FUNCTION_NOT_SUPPORTED});
    }
    if (devdes == 0) ++s.reads;
    s.changed.notify_all();
    return result;
}

int PosWrite(int devdes, void*, unsigned int nbytes) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosWrite";
    c.handle = devdes;
    s.calls.push_back(c);
    Answer a{static_cast<int>(nbytes), 0};
    fakepos::Scripted(s, c.function, a);
    return fakepos::Give(a);
}

int PosIOCtl(int devdes, int request, PosArg* args, int nargs) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosIOCtl";
    c.handle = devdes;
    c.request = request;
    c.args = fakepos::Args(args, nargs);
    s.calls.push_back(c);
    Answer a{0, 0};
    if (!fakepos::Scripted(s, "PosIOCtl:" + std::to_string(request), a))
        fakepos::Scripted(s, c.function, a);
    if (a.result == 0 && request == POS_SYS_GET_VALUES) {
        for (int i = 0; args && i < nargs; ++i) {
            auto v = args[i].name ? s.values.find(args[i].name) : s.values.end();
            if (v != s.values.end()) args[i].value = v->second;
        }
    }
    return fakepos::Give(a);
}

int PosClose(int devdes) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosClose";
    c.handle = devdes;
    s.calls.push_back(c);
    Answer a{0, 0};
    fakepos::Scripted(s, c.function, a);
    return fakepos::Give(a);
}

int PosTerm(void) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosTerm";
    s.calls.push_back(c);
    Answer a{0, 0};
    fakepos::Scripted(s, c.function, a);
    return fakepos::Give(a);
}

int PosVersion(int* version, int* release, int* modification) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    Call c;
    c.function = "PosVersion";
    s.calls.push_back(c);
    Answer a{0, 0};
    fakepos::Scripted(s, c.function, a);
    if (a.result == 0) {
        if (version) *version = 1;
        if (release) *release = 0;
        if (modification) *modification = 0;
    }
    return fakepos::Give(a);
}

int PosErrno(void) { return fakepos::lastError; }

} // extern "C"

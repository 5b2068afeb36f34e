// Observers of the touch screen's status, and whole-second sleeps.
#include <chrono>
#include <thread>

#include "Observer.h"

bool Observable::AddObserver(Observer* observer) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (m_nNumObservers >= MAX_OBSERVERS) return false;
    m_observers[m_nNumObservers++] = observer;
    return true;
}

bool Observable::DeleteObserver(Observer* observer) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    for (int i = 0; i < m_nNumObservers; ++i) {
        if (m_observers[i] != observer) continue;
        for (int j = i; j + 1 < m_nNumObservers; ++j) m_observers[j] = m_observers[j + 1];
        m_observers[--m_nNumObservers] = nullptr;
        return true;
    }
    return false;
}

int Observable::NotifyObserver() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    int called = 0;
    for (int i = 0; i < m_nNumObservers; ++i, ++called) m_observers[i]->Update();
    return called;
}

int Observable::GetNumObservers() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    return m_nNumObservers;
}

namespace {
std::mutex delayLock;
std::vector<unsigned long>* delayRecorder = nullptr;
} // namespace

void tutilTest::RecordDelays(std::vector<unsigned long>* recorder) {
    std::lock_guard<std::mutex> g(delayLock);
    delayRecorder = recorder;
}

void delay(unsigned long seconds) {
    {
        std::lock_guard<std::mutex> g(delayLock);
        if (delayRecorder) {
            delayRecorder->push_back(seconds);
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

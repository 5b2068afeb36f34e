// A terminal for the scale plug-ins (LinkTerminal.h): one device at 1.11.6E, a scale or the
// identifier, with a simulated link station playing the scale model, and clients of the
// scale's virtual class. A client's read waits for the scale with the device unlocked, so
// reads run on a thread of their own while the test pumps the link, taking the device lock
// as the adapter's polling thread does.
#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "LinkTerminal.h"
#include "VDEV.h"
#include "ovkclockwaits.h"
#include "ovkhost.h"
#include "scalemodel.h"

namespace scaletest {

using Bytes = linktest::Bytes;
using Event = RecordedEvent;
using bussim::ScaleModel;
using linktest::kPort;
using linktest::kSlot;
using linktest::u;

constexpr uint8_t kAddress = 0x6E;

using ScaleSlot = linktest::LinkSlot;

// A client's virtual scale, released and closed when it goes.
template <class V>
class Client : public linktest::LinkClient<V> {
public:
    explicit Client(int handle = 1, XrmDatabase db = nullptr)
        : linktest::LinkClient<V>(DeviceID(kSlot, kPort, kAddress), handle, db) {}
    int open(std::vector<PosArg> args = {}) { return this->openAs("scale", "PosScale", args); }
    int read(Bytes& out, unsigned size = 8) { return linktest::LinkClient<V>::read(out, size); }
};

class ScaleTerminal : public linktest::LinkTerminal<ScaleModel, ScaleSlot> {
public:
    ScaleTerminal() : LinkTerminal(kAddress, "/etc/scale.res", true) {}

    // Runs a request that waits for the scale on a thread of its own and pumps the link
    // until it is done (at most max cycles): its result.
    template <class F>
    int WhilePumping(F request, int max = 3000) {
        std::future<int> done = std::async(std::launch::async, request);
        for (int i = 0; i < max; ++i) {
            if (done.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) break;
            // Give the request time to queue its command and wait before each cycle.
            done.wait_for(std::chrono::milliseconds(1));
            Cycle();
        }
        return done.get();
    }
    // The same, moving the clock on only while the request sleeps on it, so that its time-out
    // falls at its exact time however late its thread runs: its result.
    template <class F>
    int WhileAsleep(F request, int max = 3000) {
        std::future<int> done = std::async(std::launch::async, request);
        for (int i = 0; i < max; ++i) {
            // The request works, or has not yet reached its wait: a bounded real wait for it.
            for (int w = 0; w < 10000 && ovkhost::clockWaitsAsleep() == 0; ++w)
                if (done.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) break;
            if (done.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) break;
            Cycle();
        }
        return done.get();
    }
    template <class V>
    std::unique_ptr<Client<V>> MakeClient(int handle = 1) {
        return std::make_unique<Client<V>>(handle, database);
    }
};

} // namespace scaletest

// The simulated terminal behind ovksim: the bus engine, the planar keyboard node and the
// stations with their models, and the scripting commands that act on them. Every command
// is one line and gets one reply line: "ok ..." or "error <reason>".
//
//   help | models | stations
//   attach <slot> <port> <address> <model> [key=value ...]
//   detach <slot> <port> <address>          the station is removed from the bus
//   away <slot> <port> <address>            taken off the bus (its polls time out)
//   back <slot> <port> <address>            plugged in again (it powers on)
//   received [<slot> <port> <address>]      frames each station received: control[:data]
//   clear                                   forgets the frames received so far
//   error <slot> <code> [<port> <address> [<hex bytes>]]   an error record for the core
//   event <slot> <bit> [<status>]           an adapter event for the core
//   polllist <slot>                         the poll list the core last sent
//   keyboard [driver=0|1] [id=] [type=] [msr=] [flags=] [ec=] [msrec=] [result=]
//                                           (the reply shows the reader configuration too)
//   nodeswipe <t1> <t2> [<t3>]              a swipe for the reader behind the keyboard node,
//                                           in the layout of the reader the keyboard makes
//                                           ("-": no data)
//   nodepush <hex bytes>                    a raw reader message on the keyboard node
//   addump <slot> <offset> <length>         bytes of the adapter's NVRAM, in hex
//   adcut <slot> <n> [<k>]                  n more NVRAM writes, then k bytes of the next,
//                                           then the node drops its connections
//   <model command> <slot> <port> <address> [arguments]    see "models"
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "busengine.h"
#include "kbdnode.h"
#include "ovksimconfig.h"
#include "ovksimmodels.h"

namespace bussim {

class Simulator {
public:
    using Log = std::function<void(const std::string&)>;

    Simulator(const TerminalFile& file, ModelRegistry registry, Log log = nullptr);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Keeps the memory of the adapters and of the stations that have some in files of
    // `dir` (made when missing); call before attachStations. False with the reason.
    bool persistIn(const std::string& dir, std::string& error);

    // Puts the description's stations on the bus; false with the reason.
    bool attachStations(const std::vector<StationSpec>& stations, std::string& error);

    BusEngine& engine() { return engine_; }
    KeyboardNode& keyboard() { return keyboard_; }

    // Runs one command line; the reply has no line end.
    std::string execute(const std::string& line);

    static std::string idText(int slot, uint8_t port, uint8_t address);

private:
    struct At {
        int slot = 0;
        uint8_t port = 0;
        uint8_t address = 0;
    };
    bool parseAt(const std::vector<std::string>& w, size_t first, At& at, std::string& why) const;
    std::string attach(const At& at, const std::string& model, const ModelOptions& options);
    std::string stations();
    std::string received(const std::vector<std::string>& w);
    std::string injectError(const std::vector<std::string>& w);
    std::string injectEvent(const std::vector<std::string>& w);
    std::string pollList(const std::vector<std::string>& w);
    std::string keyboardCommand(const std::vector<std::string>& w);
    std::string nodeReader(const std::vector<std::string>& w);
    std::string adapterNvram(const std::vector<std::string>& w);
    std::string models() const;
    std::string modelCommand(const std::vector<std::string>& w);
    void log(const std::string& line);

    BusEngine engine_;
    KeyboardNode keyboard_;
    ModelRegistry registry_;
    Log log_;
    std::mutex mutex_; // the station list
    std::map<uint32_t, std::string> kinds_; // station -> model name
    std::string storage_; // where memory is kept; empty: in memory only
};

} // namespace bussim

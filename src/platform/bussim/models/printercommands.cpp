#include "printercommands.h"

#include "printermodel.h"

namespace bussim {

namespace {

using Run = std::function<bool(PrinterModel&, const ModelArgs&, std::string&)>;

ModelCommand printerCommand(const std::string& usage, Run run) {
    return ModelCommand{usage, [usage, run](DeviceModel& m, const ModelArgs& a, std::string& reply) {
        auto* p = dynamic_cast<PrinterModel*>(&m);
        if (!p) {
            reply = "the station has another model";
            return false;
        }
        return run(*p, a, reply);
    }};
}

int stationOf(const std::string& word) {
    if (word == "cr") return PrinterModel::CR;
    if (word == "sj") return PrinterModel::SJ;
    if (word == "di") return PrinterModel::DI;
    return -1;
}

const char* const kStationNames[] = {"cr", "sj", "di"};

std::string linesOf(const PrinterModel& p, int station) {
    std::string out = std::to_string(p.lineCount(station));
    for (const std::string& line : p.lines(station)) out += " [" + line + "]";
    return out;
}

// Either of two words; false (with the usage) for anything else.
bool choice(const ModelArgs& a, size_t index, const char* yes, const char* no, bool& value) {
    if (a.size() <= index) return false;
    if (a[index] == yes) value = true;
    else if (a[index] == no) value = false;
    else return false;
    return true;
}

bool count(const ModelArgs& a, long& n) {
    n = 1;
    if (a.empty()) return true;
    return a.size() == 1 && parseNumber(a[0], 0, 1000000, n);
}

} // namespace

void addPrinterCommands(ModelKind& k) {
    k.commands["paper"] = printerCommand("<cr|sj|di> <out|in>", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        bool out = false;
        const int station = a.size() == 2 ? stationOf(a[0]) : -1;
        if (station < 0 || !choice(a, 1, "out", "in", out)) {
            reply = "usage: paper <slot> <port> <address> <cr|sj|di> <out|in>";
            return false;
        }
        if (!p.setPaper(station, out)) {
            reply = "no change";
            return false;
        }
        reply = "paper " + a[0] + " " + a[1];
        return true;
    });
    k.commands["cover"] = printerCommand("<open|closed>", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        bool open = false;
        if (a.size() != 1 || !choice(a, 0, "open", "closed", open)) {
            reply = "usage: cover <slot> <port> <address> <open|closed>";
            return false;
        }
        if (!p.setCover(open)) {
            reply = "no change";
            return false;
        }
        reply = "cover " + a[0];
        return true;
    });
    k.commands["document"] = printerCommand("<in|out>", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        bool in = false;
        if (a.size() != 1 || !choice(a, 0, "in", "out", in)) {
            reply = "usage: document <slot> <port> <address> <in|out>";
            return false;
        }
        if (!p.setDocument(in)) {
            reply = "no change";
            return false;
        }
        reply = "document " + a[0];
        return true;
    });
    k.commands["reject"] = printerCommand("[n]", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        long n = 1;
        if (!count(a, n)) {
            reply = "usage: reject <slot> <port> <address> [n]";
            return false;
        }
        p.rejectNext(static_cast<int>(n));
        reply = "reject " + std::to_string(p.rejectsDue());
        return true;
    });
    k.commands["drop"] = printerCommand("[n]", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        long n = 1;
        if (!count(a, n)) {
            reply = "usage: drop <slot> <port> <address> [n]";
            return false;
        }
        p.dropNext(static_cast<int>(n));
        reply = "drop " + std::to_string(p.dropsDue());
        return true;
    });
    k.commands["printed"] = printerCommand("[cr|sj|di]", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        if (a.size() > 1 || (a.size() == 1 && stationOf(a[0]) < 0)) {
            reply = "usage: printed <slot> <port> <address> [cr|sj|di]";
            return false;
        }
        if (a.size() == 1) {
            reply = linesOf(p, stationOf(a[0]));
            return true;
        }
        reply.clear();
        for (int s = 0; s < PrinterModel::kStations; ++s)
            reply += std::string(s ? " " : "") + kStationNames[s] + " " + linesOf(p, s);
        return true;
    });
    k.commands["payloads"] = printerCommand("", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        if (!a.empty()) {
            reply = "usage: payloads <slot> <port> <address>";
            return false;
        }
        reply = std::to_string(p.commandCount());
        for (const auto& c : p.commands()) reply += " " + hexBytes(c);
        return true;
    });
    k.commands["counts"] = printerCommand("", [](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        if (!a.empty()) {
            reply = "usage: counts <slot> <port> <address>";
            return false;
        }
        reply = "commands=" + std::to_string(p.commandCount());
        for (int s = 0; s < PrinterModel::kStations; ++s)
            reply += std::string(" ") + kStationNames[s] + "=" + std::to_string(p.lineCount(s));
        return true;
    });
}

} // namespace bussim

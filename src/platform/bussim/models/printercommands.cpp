#include "printercommands.h"

#include "modelcommands.h"
#include "printermodel.h"

namespace bussim {

namespace {

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

// VERB <yes|no>: set(word == yes), "no change" when the printer was so already.
ModelCommand switchCommand(const std::string& verb, const char* yes, const char* no, bool (PrinterModel::*set)(bool)) {
    const std::string words = std::string("<") + yes + "|" + no + ">";
    return command<PrinterModel>(words, [=](PrinterModel& p, const ModelArgs& a, std::string& reply) {
        bool value = false;
        if (a.size() != 1 || !choice(a, 0, yes, no, value)) {
            reply = usageOf(verb, words);
            return false;
        }
        if (!(p.*set)(value)) {
            reply = "no change";
            return false;
        }
        reply = verb + " " + a[0];
        return true;
    });
}

} // namespace

void addPrinterCommands(ModelKind& k) {
    k.commands["paper"] =
        command<PrinterModel>("<cr|sj|di> <out|in>", [](auto& p, const ModelArgs& a, std::string& reply) {
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
    k.commands["cover"] = switchCommand("cover", "open", "closed", &PrinterModel::setCover);
    k.commands["document"] = switchCommand("document", "in", "out", &PrinterModel::setDocument);
    k.commands["reject"] = countCommand<PrinterModel>("reject", [](PrinterModel& p, int n) {
        p.rejectNext(n);
        return p.rejectsDue();
    });
    k.commands["drop"] = countCommand<PrinterModel>("drop", [](PrinterModel& p, int n) {
        p.dropNext(n);
        return p.dropsDue();
    });
    k.commands["printed"] = command<PrinterModel>("[cr|sj|di]", [](auto& p, const ModelArgs& a, std::string& reply) {
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
    // The count is of every command; the list holds those kept.
    k.commands["payloads"] = query<PrinterModel>("payloads", ExtraArgs::Refused, [](const PrinterModel& p) {
        std::string out = std::to_string(p.commandCount());
        for (const auto& c : p.commands()) out += " " + hexBytes(c);
        return out;
    });
    k.commands["counts"] = query<PrinterModel>("counts", ExtraArgs::Refused, [](const PrinterModel& p) {
        std::string out = "commands=" + std::to_string(p.commandCount());
        for (int s = 0; s < PrinterModel::kStations; ++s)
            out += std::string(" ") + kStationNames[s] + "=" + std::to_string(p.lineCount(s));
        return out;
    });
}

} // namespace bussim

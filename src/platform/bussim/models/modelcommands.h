// Building blocks of the ovksim commands that the model entries share (ovksimmodels.cpp,
// printercommands.cpp). Each command first checks that the station has the model M; a
// malformed command replies "usage: VERB <slot> <port> <address> ARGS".
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ovksimmodels.h"

namespace bussim {

// The station's model as an M, or null with the reply saying that it is another.
template <class M>
M* as(DeviceModel& model, std::string& reply) {
    M* m = dynamic_cast<M*>(&model);
    if (!m) reply = "the station has another model";
    return m;
}

// A command that runs run(M&, args, reply) on a station of model M.
template <class M, class Run>
ModelCommand command(std::string usage, Run run) {
    return ModelCommand{std::move(usage), [run](DeviceModel& m, const ModelArgs& a, std::string& reply) {
        M* d = as<M>(m, reply);
        return d != nullptr && run(*d, a, reply);
    }};
}

inline std::string usageOf(const std::string& verb, const std::string& args) {
    return "usage: " + verb + " <slot> <port> <address>" + (args.empty() ? "" : " " + args);
}

// How many byte strings, then each in hex, oldest first.
template <class List>
std::string hexList(const List& list) {
    std::string out = std::to_string(list.size());
    for (const auto& bytes : list) out += " " + hexBytes(bytes);
    return out;
}

// Whether a command without arguments refuses any it is given, or ignores them.
enum class ExtraArgs { Refused, Ignored };

// A command without arguments that replies show(M&).
template <class M, class Show>
ModelCommand query(const std::string& verb, ExtraArgs extra, Show show) {
    return command<M>("", [verb, extra, show](M& d, const ModelArgs& a, std::string& reply) {
        if (extra == ExtraArgs::Refused && !a.empty()) {
            reply = usageOf(verb, "");
            return false;
        }
        reply = show(d);
        return true;
    });
}

// VERB <yes|no> (`words` shows the two as the usage does): act(M&, word == yes), replying
// "VERB word".
template <class M, class Act>
ModelCommand choiceCommand(const std::string& verb, const std::string& words, const char* yes, const char* no,
                           Act act) {
    return command<M>(words, [=](M& d, const ModelArgs& a, std::string& reply) {
        if (a.size() != 1 || (a[0] != yes && a[0] != no)) {
            reply = usageOf(verb, words);
            return false;
        }
        act(d, a[0] == yes);
        reply = verb + " " + a[0];
        return true;
    });
}

// VERB [n] (n from 0 to 1000000, 1 when left out): replies "VERB " and what act(M&, n)
// returns.
template <class M, class Act>
ModelCommand countCommand(const std::string& verb, Act act) {
    return command<M>("[n]", [=](M& d, const ModelArgs& a, std::string& reply) {
        long n = 1;
        if (a.size() > 1 || (a.size() == 1 && !parseNumber(a[0], 0, 1000000, n))) {
            reply = usageOf(verb, "[n]");
            return false;
        }
        reply = verb + " " + std::to_string(act(d, static_cast<int>(n)));
        return true;
    });
}

// push <hex bytes>: bytes the device sends when it is next polled.
template <class M>
ModelCommand pushCommand() {
    return command<M>("<hex bytes>", [](M& d, const ModelArgs& a, std::string& reply) {
        std::vector<uint8_t> bytes;
        if (a.size() != 1 || !parseHexBytes(a[0], bytes) || bytes.empty()) {
            reply = usageOf("push", "<hex bytes>");
            return false;
        }
        d.push(bytes);
        reply = "queued " + std::to_string(bytes.size()) + " bytes";
        return true;
    });
}

// reject <count>: the next count commands are rejected.
template <class M>
ModelCommand rejectCommand() {
    return command<M>("<count>", [](M& d, const ModelArgs& a, std::string& reply) {
        long n = 0;
        if (a.size() != 1 || !parseNumber(a[0], 0, 1000, n)) {
            reply = usageOf("reject", "<count>");
            return false;
        }
        d.reject(static_cast<int>(n));
        reply = "rejecting " + std::to_string(n);
        return true;
    });
}

// unasked: the device sends a message with the reject bit that answers no command.
template <class M>
ModelCommand unaskedCommand() {
    return command<M>("", [](M& d, const ModelArgs& a, std::string& reply) {
        if (!a.empty()) {
            reply = usageOf("unasked", "");
            return false;
        }
        d.unasked();
        reply = "unasked reject queued";
        return true;
    });
}

// status <byte 0-last> <hex>: sets a byte of the status the printer reports.
template <class M>
ModelCommand statusCommand(int last) {
    return command<M>("<byte> <hex>", [last](M& d, const ModelArgs& a, std::string& reply) {
        long index = 0;
        std::vector<uint8_t> value;
        if (a.size() != 2 || !parseNumber(a[0], 0, last, index) || !parseHexBytes(a[1], value) ||
            value.size() != 1) {
            reply = usageOf("status", "<byte 0-" + std::to_string(last) + "> <hex>");
            return false;
        }
        d.setStatusByte(static_cast<int>(index), value[0]);
        reply = "status " + a[0] + " " + hexBytes(value);
        return true;
    });
}

// answer <byte0 hex> [n]: the next n status answers carry that first byte.
template <class M>
ModelCommand answerCommand() {
    return command<M>("<byte0 hex> [n]", [](M& d, const ModelArgs& a, std::string& reply) {
        long n = 1;
        std::vector<uint8_t> value;
        if (a.empty() || a.size() > 2 || !parseHexBytes(a[0], value) || value.size() != 1 ||
            (a.size() == 2 && !parseNumber(a[1], 0, 1000000, n))) {
            reply = usageOf("answer", "<byte0 hex> [n]");
            return false;
        }
        d.answerNext(value[0], static_cast<int>(n));
        reply = "answer " + hexBytes(value) + " " + std::to_string(n);
        return true;
    });
}

} // namespace bussim

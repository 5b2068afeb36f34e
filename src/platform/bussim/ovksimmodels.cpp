// The models of ovksim by name, and their scripting commands.
#include "ovksimmodels.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "apamodel.h"
#include "displaymodel.h"
#include "drawermodel.h"
#include "scalemodel.h"
#include "nvrammodel.h"
#include "rs232model.h"
#include "keyboardmodel.h"
#include "p6397model.h"
#include "m2printermodel.h"
#include "m3fprintermodel.h"
#include "m3printermodel.h"
#include "srjprintermodel.h"
#include "trjprintermodel.h"
#include "msrmodel.h"
#include "scannermodel.h"
#include "modelcommands.h"
#include "printercommands.h"
#include "testdevicemodel.h"
#include "testprintermodel.h"
#include "touchmodel.h"

namespace bussim {

bool parseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty() || text.size() > 20 || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0') return false;
    if (v > static_cast<unsigned long long>(max) || static_cast<long long>(v) < min) return false;
    value = static_cast<long>(v);
    return true;
}

bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (text.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

std::string hexBytes(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool numberOption(const ModelOptions& options, const std::string& key, long min, long max,
                  long fallback, long& value, std::string& error) {
    auto it = options.find(key);
    if (it == options.end()) {
        value = fallback;
        return true;
    }
    if (parseNumber(it->second, min, max, value)) return true;
    error = "option " + key + " must be a number from " + std::to_string(min) + " to " + std::to_string(max);
    return false;
}

bool ModelRegistry::add(ModelKind kind) {
    if (find(kind.name)) return false;
    kinds_.push_back(std::move(kind));
    return true;
}

const ModelKind* ModelRegistry::find(const std::string& name) const {
    for (const ModelKind& k : kinds_)
        if (k.name == name) return &k;
    return nullptr;
}

const ModelKind* ModelRegistry::findCommand(const std::string& command) const {
    for (const ModelKind& k : kinds_)
        if (k.commands.count(command)) return &k;
    return nullptr;
}

std::vector<std::string> ModelRegistry::names() const {
    std::vector<std::string> out;
    for (const ModelKind& k : kinds_) out.push_back(k.name);
    return out;
}

namespace {

// A numeric option of a model: its key, its range and its value when it is not given.
struct NumberSpec {
    const char* key;
    long min;
    long max;
    long fallback;
};
using OptionValues = std::map<std::string, long>;

// Options no model knows are refused, so that a misspelt option does not pass unnoticed:
// those that are neither numbers nor `others`. Then the numbers are read in order into
// `values`, by key. False with the reason in `error`.
bool readOptions(const ModelOptions& options, std::initializer_list<NumberSpec> numbers, OptionValues& values,
                 std::string& error, std::initializer_list<const char*> others = {}) {
    for (const auto& [key, value] : options) {
        bool ok = false;
        for (const NumberSpec& n : numbers) ok = ok || key == n.key;
        for (const char* k : others) ok = ok || key == k;
        if (!ok) {
            error = "unknown option " + key;
            return false;
        }
    }
    for (const NumberSpec& n : numbers)
        if (!numberOption(options, n.key, n.min, n.max, n.fallback, values[n.key], error)) return false;
    return true;
}

bool onlyOptions(const ModelOptions& options, std::initializer_list<const char*> known, std::string& error) {
    OptionValues none;
    return readOptions(options, {}, none, error, known);
}

ModelKind testDeviceKind() {
    ModelKind k;
    k.name = "testdev";
    k.description = "test device: answers identification (type=) and status (subtype=, ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"type", 0, 0xFFFF, 34900}, {"subtype", 0, 0xFF, 1}, {"ec", 0, 0xFF, 0x10}}, v, error))
            return nullptr;
        TestDeviceModel::Options options;
        options.type = static_cast<uint16_t>(v["type"]);
        options.subtype = static_cast<uint8_t>(v["subtype"]);
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<TestDeviceModel>(options);
    };
    k.commands["ident"] = command<TestDeviceModel>("<type>", [](auto& d, const ModelArgs& a, std::string& reply) {
        long type = 0;
        if (a.size() != 1 || !parseNumber(a[0], 0, 0xFFFF, type)) {
            reply = usageOf("ident", "<type>");
            return false;
        }
        d.setType(static_cast<uint16_t>(type));
        reply = "type " + std::to_string(type);
        return true;
    });
    k.commands["push"] = pushCommand<TestDeviceModel>();
    k.commands["payloads"] = query<TestDeviceModel>("payloads", ExtraArgs::Ignored,
                                                    [](const TestDeviceModel& d) { return hexList(d.received()); });
    return k;
}

ModelKind drawerKind() {
    ModelKind k;
    k.name = "drawer";
    k.description = "cash-drawer unit: two drawers and an alarm (drawer1=, drawer2=, ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"drawer1", 0, 1, 1}, {"drawer2", 0, 1, 1}, {"ec", 0, 0xFF, 0x21}}, v, error))
            return nullptr;
        DrawerModel::Options options;
        options.drawer1Connected = v["drawer1"] != 0;
        options.drawer2Connected = v["drawer2"] != 0;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<DrawerModel>(options);
    };
    auto drawerCommand = [](const char* name, bool (*act)(DrawerModel&, int)) {
        return command<DrawerModel>("<drawer 1|2>", [name, act](auto& d, const ModelArgs& a, std::string& reply) {
            long n = 0;
            if (a.size() != 1 || !parseNumber(a[0], 1, 2, n)) {
                reply = usageOf(name, "<drawer 1|2>");
                return false;
            }
            if (!act(d, static_cast<int>(n))) {
                reply = "no change";
                return false;
            }
            reply = std::string(name) + " drawer " + std::to_string(n);
            return true;
        });
    };
    k.commands["open"] = drawerCommand("open", [](DrawerModel& d, int n) { return d.openDrawer(n); });
    k.commands["close"] = drawerCommand("close", [](DrawerModel& d, int n) { return d.closeDrawer(n); });
    k.commands["plug"] = drawerCommand("plug", [](DrawerModel& d, int n) { return d.setConnected(n, true); });
    k.commands["unplug"] =
        drawerCommand("unplug", [](DrawerModel& d, int n) { return d.setConnected(n, false); });
    k.commands["drawers"] = query<DrawerModel>("drawers", ExtraArgs::Ignored, [](const DrawerModel& d) {
        std::string out;
        for (int n = 1; n <= 2; ++n)
            out += "drawer" + std::to_string(n) + "=" +
                   (!d.connected(n) ? "unplugged" : d.drawerOpen(n) ? "open" : "closed") + " ";
        return out + "alarm=" + (d.alarmSounding() ? "on" : "off");
    });
    k.commands["reject"] = rejectCommand<DrawerModel>();
    // Every command the unit took, oldest first, in hex; a frame the link repeats once.
    k.commands["payloads"] = query<DrawerModel>("payloads", ExtraArgs::Ignored,
                                                [](const DrawerModel& d) { return hexList(d.received()); });
    return k;
}

ModelKind displayKind(const std::string& name, const std::string& description) {
    ModelKind k;
    k.name = name;
    k.description = description;
    k.make = [name](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        if (!onlyOptions(o, {}, error)) return nullptr;
        return DisplayModel::make(name);
    };
    k.commands["text"] = command<DisplayModel>("<row>", [](auto& d, const ModelArgs& a, std::string& reply) {
        long row = 0;
        if (a.size() != 1 || !parseNumber(a[0], 0, DisplayModel::kRows - 1, row)) {
            reply = usageOf("text", "<row 0|1>");
            return false;
        }
        reply = "[" + d.text(static_cast<int>(row)) + "]";
        return true;
    });
    k.commands["reject"] = rejectCommand<DisplayModel>();
    k.commands["unasked"] = unaskedCommand<DisplayModel>();
    // Every command the display received, oldest first, in hex.
    k.commands["payloads"] = query<DisplayModel>("payloads", ExtraArgs::Refused,
                                                 [](const DisplayModel& d) { return hexList(d.commands()); });
    return k;
}

ModelKind touchKind(const std::string& name, TouchModel::Kind kind, long defaultId) {
    ModelKind k;
    k.name = name;
    k.description = kind == TouchModel::Kind::Elo
                        ? "touch controller with calibration (id=, features=, ec=, cmdset=)"
                        : "touch controller of the touch display (id=, features=, ec=, cmdset=)";
    k.make = [kind, defaultId](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"id", 0, 0xFF, defaultId}, {"features", 0, 0xFF, 0x50}, {"ec", 0, 0xFF, 2},
                             {"cmdset", 0, 0xFF, 0x88}},
                         v, error))
            return nullptr;
        TouchModel::Options options;
        options.kind = kind;
        options.id = static_cast<uint8_t>(v["id"]);
        options.features = static_cast<uint8_t>(v["features"]);
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.commandSet = static_cast<uint8_t>(v["cmdset"]);
        return std::make_unique<TouchModel>(options);
    };
    const long maxCoordinate = kind == TouchModel::Kind::Elo ? 0xFFFF : 0xFF;
    auto pointCommand = [maxCoordinate](const char* verb, void (TouchModel::*act)(int, int)) {
        return command<TouchModel>("<x> <y>", [=](auto& t, const ModelArgs& a, std::string& reply) {
            long x = 0, y = 0;
            if (a.size() != 2 || !parseNumber(a[0], 0, maxCoordinate, x) ||
                !parseNumber(a[1], 0, maxCoordinate, y)) {
                reply = usageOf(verb, "<x> <y>");
                return false;
            }
            (t.*act)(static_cast<int>(x), static_cast<int>(y));
            reply = std::string(verb) + " " + std::to_string(x) + " " + std::to_string(y);
            return true;
        });
    };
    k.commands["touch"] = pointCommand("touch", &TouchModel::touch);
    k.commands["lift"] = pointCommand("lift", &TouchModel::lift);
    k.commands["calpoint"] = choiceCommand<TouchModel>("calpoint", "ok|fail", "ok", "fail",
                                                        [](TouchModel& t, bool ok) { t.calibrationPoint(ok); });
    k.commands["caldone"] = query<TouchModel>("caldone", ExtraArgs::Refused, [](TouchModel& t) {
        t.calibrationDone();
        return std::string("caldone");
    });
    k.commands["fault"] =
        command<TouchModel>("overflow|diag|reject", [](auto& t, const ModelArgs& a, std::string& reply) {
            if (a.size() != 1 || !t.fault(a[0])) {
                reply = usageOf("fault", "overflow|diag|reject");
                return false;
            }
            reply = "fault " + a[0];
            return true;
        });
    k.commands["touchstate"] =
        query<TouchModel>("touchstate", ExtraArgs::Ignored, [](const TouchModel& t) { return t.state(); });
    // Every command the controller received, oldest first, in hex.
    k.commands["payloads"] = query<TouchModel>("payloads", ExtraArgs::Ignored,
                                               [](const TouchModel& t) { return hexList(t.commands()); });
    return k;
}

ModelKind keyboardKind() {
    ModelKind k;
    k.name = "poskbd";
    k.description = "RS-485 POS keyboard: keys and key lock (format=ext|k50|text|anpos, type=, info6=, ec=, lock=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        KeyboardModel::Options options;
        auto format = o.find("format");
        if (format != o.end()) {
            const std::string& f = format->second;
            if (f == "ext") options.format = KeyboardModel::EXTENDED;
            else if (f == "k50") options.format = KeyboardModel::K50;
            else if (f == "text") options.format = KeyboardModel::TEXT;
            else if (f == "anpos") options.format = KeyboardModel::ANPOS;
            else {
                error = "option format must be ext, k50, text or anpos";
                return nullptr;
            }
        }
        OptionValues v;
        if (!readOptions(o,
                         {{"type", 0, 0xFF, 2}, {"info6", 0, 0xFF, 0}, {"ec", 0, 0xFF, 0x10}, {"lock", 0, 0xFF, 0x10}},
                         v, error, {"format"}))
            return nullptr;
        options.type = static_cast<uint8_t>(v["type"]);
        options.info6 = static_cast<uint8_t>(v["info6"]);
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.lock = static_cast<uint8_t>(v["lock"]);
        return std::make_unique<KeyboardModel>(options);
    };
    k.commands["keys"] =
        command<KeyboardModel>("<hex codes> [flags=<hex>]", [](auto& d, const ModelArgs& a, std::string& reply) {
            std::vector<uint8_t> codes, flags{0};
            bool ok = (a.size() == 1 || a.size() == 2) && parseHexBytes(a[0], codes) && !codes.empty();
            if (ok && a.size() == 2)
                ok = a[1].rfind("flags=", 0) == 0 && parseHexBytes(a[1].substr(6), flags) && flags.size() == 1;
            if (!ok) {
                reply = "usage: keys <slot> <port> <address> <hex codes> [flags=<hex byte>]";
                return false;
            }
            d.keys(codes, flags[0]);
            reply = "keys " + hexBytes(codes);
            return true;
        });
    k.commands["keylock"] = command<KeyboardModel>("<bits>", [](auto& d, const ModelArgs& a, std::string& reply) {
        long bits = 0;
        if (a.size() != 1 || !parseNumber(a[0], 0, 0xFF, bits)) {
            reply = usageOf("keylock", "<bits>");
            return false;
        }
        d.keyLock(static_cast<uint8_t>(bits));
        reply = "keylock " + hexBytes({static_cast<uint8_t>(bits)});
        return true;
    });
    k.commands["typematic"] =
        command<KeyboardModel>("<A 0|1> <B 0|1>", [](auto& d, const ModelArgs& a, std::string& reply) {
            long x = 0, y = 0;
            if (a.size() != 2 || !parseNumber(a[0], 0, 1, x) || !parseNumber(a[1], 0, 1, y)) {
                reply = usageOf("typematic", "<A 0|1> <B 0|1>");
                return false;
            }
            d.fixTypematic(static_cast<int>(x), static_cast<int>(y));
            reply = "typematic " + std::to_string(x) + " " + std::to_string(y);
            return true;
        });
    k.commands["push"] = pushCommand<KeyboardModel>();
    k.commands["reject"] = rejectCommand<KeyboardModel>();
    k.commands["unasked"] = unaskedCommand<KeyboardModel>();
    k.commands["payloads"] = query<KeyboardModel>("payloads", ExtraArgs::Ignored,
                                                  [](const KeyboardModel& d) { return hexList(d.received()); });
    k.commands["kbdstate"] = query<KeyboardModel>("kbdstate", ExtraArgs::Ignored, [](const KeyboardModel& d) {
        auto shown = [](const std::vector<uint8_t>& b) { return b.empty() ? std::string("-") : hexBytes(b); };
        std::string out = "lights=" + shown(d.lights()) + " tone=" + shown(d.tone()) +
                          " configure=" + shown(d.configure()) + " lock=" + hexBytes({d.options().lock}) +
                          " blocks=" + std::to_string(d.microcodeBlocks().size());
        for (const auto& b : d.microcodeBlocks()) out += " " + hexBytes(b);
        return out;
    });
    return k;
}

ModelKind testPrinterKind() {
    ModelKind k;
    k.name = "testprinter";
    k.description = "test printer on the printer kit: line, feed, cut, status, reset";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        if (!onlyOptions(o, {}, error)) return nullptr;
        return std::make_unique<TestPrinterModel>();
    };
    addPrinterCommands(k);
    return k;
}

ModelKind p6397Kind() {
    ModelKind k;
    k.name = "p6397";
    k.description = "model-6397 printer (devtype=, subtype=, option=, feature=, ec=, info=HEX, serial=, "
                    "codepage=, flash=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o,
                         {{"devtype", 0, 0xFF, 0x30}, {"subtype", 0, 0xFF, 4}, {"option", 0, 0xFF, 3},
                          {"feature", 0, 0xFF, 0}, {"ec", 0, 0xFF, 0x14}, {"codepage", 0, 0xFFFF, 858},
                          {"flash", 0, 0xFFFFFF, 65536}},
                         v, error, {"info", "serial"}))
            return nullptr;
        P6397Model::Options options;
        options.deviceType = static_cast<uint8_t>(v["devtype"]);
        options.subtype = static_cast<uint8_t>(v["subtype"]);
        options.option = static_cast<uint8_t>(v["option"]);
        options.feature = static_cast<uint8_t>(v["feature"]);
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.codePage = static_cast<uint16_t>(v["codepage"]);
        options.flashSize = static_cast<uint32_t>(v["flash"]);
        auto info = o.find("info");
        if (info != o.end() && (!parseHexBytes(info->second, options.info) || options.info.size() < 5 ||
                                options.info.size() > 64)) {
            error = "option info must be 5 to 64 hex bytes";
            return nullptr;
        }
        auto serial = o.find("serial");
        if (serial != o.end()) {
            if (serial->second.size() != 8) {
                error = "option serial must be 8 characters";
                return nullptr;
            }
            options.serial = serial->second;
        }
        return std::make_unique<P6397Model>(options);
    };
    addPrinterCommands(k);
    // Unlike the other printers', the reply names the byte in decimal.
    k.commands["status"] = command<P6397Model>("<byte> <hex>", [](auto& p, const ModelArgs& a, std::string& reply) {
        long index = 0;
        std::vector<uint8_t> value;
        if (a.size() != 2 || !parseNumber(a[0], 0, 15, index) || !parseHexBytes(a[1], value) || value.size() != 1) {
            reply = usageOf("status", "<byte 0-15> <hex>");
            return false;
        }
        p.setStatusByte(static_cast<int>(index), value[0]);
        reply = "status " + std::to_string(index) + " " + hexBytes(value);
        return true;
    });
    k.commands["fault"] = command<P6397Model>(
        "<error|printer|eeprom|busy|full|clear>", [](auto& p, const ModelArgs& a, std::string& reply) {
            static const std::pair<const char*, P6397Model::Fault> kFaults[] = {
                {"error", P6397Model::kFaultError}, {"printer", P6397Model::kFaultPrinter},
                {"eeprom", P6397Model::kFaultEeprom}, {"busy", P6397Model::kFaultBusy},
                {"full", P6397Model::kFaultFull}};
            if (a.size() == 1 && a[0] == "clear") {
                p.clearFaults();
                reply = "fault clear";
                return true;
            }
            for (const auto& [name, fault] : kFaults) {
                if (a.size() == 1 && a[0] == name) {
                    p.setFault(fault, true);
                    reply = std::string("fault ") + name;
                    return true;
                }
            }
            reply = usageOf("fault", "<error|printer|eeprom|busy|full|clear>");
            return false;
        });
    k.commands["micr"] = command<P6397Model>("<hex>", [](auto& p, const ModelArgs& a, std::string& reply) {
        std::vector<uint8_t> line;
        if (a.size() != 1 || !parseHexBytes(a[0], line) || line.size() > 200) {
            reply = usageOf("micr", "<hex, at most 200 bytes>");
            return false;
        }
        p.setCodeLine(line);
        reply = "micr " + hexBytes(line);
        return true;
    });
    for (const char* verb : {"scan", "scandone"}) {
        const bool done = std::string(verb) == "scandone";
        k.commands[verb] = command<P6397Model>("<hex>", [verb, done](auto& p, const ModelArgs& a, std::string& reply) {
            std::vector<uint8_t> data;
            if (a.size() != 1 || !parseHexBytes(a[0], data) || data.size() > 240) {
                reply = usageOf(verb, "<hex, at most 240 bytes>");
                return false;
            }
            if (!p.scanData(data, done)) {
                reply = "the printer has no imaging (feature=0x04)";
                return false;
            }
            reply = std::string(verb) + " " + hexBytes(data);
            return true;
        });
    }
    k.commands["flash"] = command<P6397Model>("<address> <count>", [](auto& p, const ModelArgs& a, std::string& reply) {
        long address = 0, count = 0;
        if (a.size() != 2 || !parseNumber(a[0], 0, 0xFFFFFF, address) || !parseNumber(a[1], 1, 4096, count)) {
            reply = usageOf("flash", "<address> <count 1-4096>");
            return false;
        }
        std::vector<uint8_t> bytes;
        for (long i = 0; i < count; ++i) {
            const int b = p.flashByte(static_cast<uint32_t>(address + i));
            bytes.push_back(b < 0 ? 0xFF : static_cast<uint8_t>(b));
        }
        reply = hexBytes(bytes);
        return true;
    });
    k.commands["logos"] = query<P6397Model>("logos", ExtraArgs::Refused, [](P6397Model& p) {
        char text[64];
        std::snprintf(text, sizeof text, "checksum %04x bytes %zu", p.logoChecksum(), p.logoMemory().size());
        return std::string(text);
    });
    k.commands["mct"] = command<P6397Model>("<index> <value>", [](auto& p, const ModelArgs& a, std::string& reply) {
        long index = 0, value = 0;
        if (a.size() != 2 || !parseNumber(a[0], 0, 0xFF, index) || !parseNumber(a[1], 0, 0xFFFF, value)) {
            reply = usageOf("mct", "<index 0-255> <value 0-65535>");
            return false;
        }
        p.setMct(static_cast<uint8_t>(index), static_cast<uint16_t>(value));
        reply = "mct " + std::to_string(index) + " " + std::to_string(value);
        return true;
    });
    return k;
}

ModelKind m2PrinterKind() {
    ModelKind k;
    k.name = "m2";
    k.description = "M2 impact printer: receipt, journal, document (ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"ec", 0, 0xFF, 0x20}}, v, error)) return nullptr;
        return std::make_unique<M2PrinterModel>(static_cast<uint8_t>(v["ec"]));
    };
    addPrinterCommands(k);
    k.commands["status"] = statusCommand<M2PrinterModel>(3);
    return k;
}

ModelKind srjPrinterKind() {
    ModelKind k;
    k.name = "srj";
    k.description = "SRJ printer: receipt, journal, document (model=1|2, wide=0|1, ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"model", 1, 2, 2}, {"wide", 0, 1, 1}, {"ec", 0, 0xFF, 0x20}}, v, error))
            return nullptr;
        SrjPrinterModel::Options options;
        options.model = static_cast<int>(v["model"]);
        options.wide = v["wide"] != 0;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<SrjPrinterModel>(options);
    };
    addPrinterCommands(k);
    k.commands["status"] = statusCommand<SrjPrinterModel>(7);
    k.commands["answer"] = answerCommand<SrjPrinterModel>();
    k.commands["udc"] = query<SrjPrinterModel>("udc", ExtraArgs::Refused, [](const SrjPrinterModel& p) {
        return "blocks=" + std::to_string(p.udcBlocks());
    });
    return k;
}

ModelKind trjPrinterKind() {
    ModelKind k;
    k.name = "trj";
    k.description = "TRJ thermal printer: receipt, journal (ec=, devtype=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"ec", 0, 0xFF, 0x20}, {"devtype", 0, 0xFF, 0x11}}, v, error)) return nullptr;
        TrjPrinterModel::Options options;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.deviceType = static_cast<uint8_t>(v["devtype"]);
        return std::make_unique<TrjPrinterModel>(options);
    };
    addPrinterCommands(k);
    k.commands["status"] = statusCommand<TrjPrinterModel>(7);
    k.commands["answer"] = answerCommand<TrjPrinterModel>();
    k.commands["badid"] = countCommand<TrjPrinterModel>("badid", [](TrjPrinterModel& p, int n) {
        p.badIdNext(n);
        return n;
    });
    k.commands["defer"] = command<TrjPrinterModel>("<on|off>", [](auto& p, const ModelArgs& a, std::string& reply) {
        if (a.size() != 1 || (a[0] != "on" && a[0] != "off")) {
            reply = usageOf("defer", "<on|off>");
            return false;
        }
        p.setDefer(a[0] == "on");
        reply = "defer " + a[0] + " held=" + std::to_string(p.held());
        return true;
    });
    return k;
}

ModelKind m3PrinterKind() {
    ModelKind k;
    k.name = "m3";
    k.description = "M3 impact printer: receipt, journal, document (dbcs=, micr=, ec=, codepage=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"dbcs", 0, 1, 0}, {"micr", 0, 1, 0}, {"ec", 0, 0xFF, 0x20}, {"codepage", 0, 0xFFFF, 858}},
                         v, error))
            return nullptr;
        M3PrinterModel::Options options;
        options.dbcs = v["dbcs"] != 0;
        options.micr = v["micr"] != 0;
        options.ec = static_cast<uint8_t>(v["ec"]);
        options.codePage = static_cast<uint16_t>(v["codepage"]);
        return std::make_unique<M3PrinterModel>(options);
    };
    addPrinterCommands(k);
    k.commands["micr"] = command<M3PrinterModel>("<hex>", [](auto& p, const ModelArgs& a, std::string& reply) {
        std::vector<uint8_t> data;
        if (a.size() != 1 || !parseHexBytes(a[0], data) || data.size() > 256) {
            reply = usageOf("micr", "<hex>");
            return false;
        }
        p.setMicr(data);
        reply = "micr " + hexBytes(data);
        return true;
    });
    k.commands["raserror"] = countCommand<M3PrinterModel>("raserror", [](M3PrinterModel& p, int n) {
        p.rasErrorNext(n);
        return p.rasErrorsDue();
    });
    k.commands["flash"] = query<M3PrinterModel>("flash", ExtraArgs::Refused, [](M3PrinterModel& p) {
        char crcs[48];
        std::snprintf(crcs, sizeof crcs, " font1=0x%04x font2=0x%04x", p.fontCrc(), p.flashCrc());
        return "codepage=" + std::to_string(p.setting('$')) + " erased=" + (p.flashErased() ? "1" : "0") +
               " records=" + std::to_string(p.flashRecords()) + " chunks=" + std::to_string(p.flashChunks()) +
               " bytes=" + std::to_string(p.flashBytes().size()) + crcs;
    });
    return k;
}

ModelKind m3fPrinterKind() {
    ModelKind k;
    k.name = "m3f";
    k.description = "fiscal M3 printer (ec=, ipl=, fiscal=, pld=, short=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o,
                         {{"ec", 1, 0xFF, 0x21}, {"ipl", 0, 0xFF, 0x25}, {"fiscal", 0, 1, 1}, {"pld", 0, 1, 0},
                          {"short", 0, 1, 0}},
                         v, error))
            return nullptr;
        M3FPrinterModel::Options options;
        options.ec = static_cast<uint8_t>(v["ec"]);
        options.ipl = static_cast<uint8_t>(v["ipl"]);
        options.fiscal = v["fiscal"] != 0;
        options.pld = v["pld"] != 0;
        options.shortAnswer = v["short"] != 0;
        return std::make_unique<M3FPrinterModel>(options);
    };
    addPrinterCommands(k);
    k.commands["fiscalrc"] = command<M3FPrinterModel>("<rc> [n]", [](auto& p, const ModelArgs& a, std::string& reply) {
        long rc = 0, n = 1;
        if (a.empty() || a.size() > 2 || !parseNumber(a[0], 0, 0xFF, rc) ||
            (a.size() == 2 && !parseNumber(a[1], 1, 1000000, n))) {
            reply = usageOf("fiscalrc", "<rc> [n]");
            return false;
        }
        p.scriptReturnCode(static_cast<uint8_t>(rc), static_cast<int>(n));
        reply = "fiscalrc " + std::to_string(rc) + " " + std::to_string(p.returnCodesDue());
        return true;
    });
    k.commands["fiscaldata"] = command<M3FPrinterModel>("<hex>", [](auto& p, const ModelArgs& a, std::string& reply) {
        std::vector<uint8_t> data;
        if (a.size() != 1 || !parseHexBytes(a[0], data) || data.empty() || data.size() > 1024) {
            reply = usageOf("fiscaldata", "<hex>");
            return false;
        }
        p.scriptFiscalData(data);
        reply = "fiscaldata " + hexBytes(data);
        return true;
    });
    return k;
}

ModelKind nvramKind(const std::string& name, NvramModel::Kind kind, const std::string& description) {
    ModelKind k;
    k.name = name;
    k.description = description;
    k.make = [kind](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"ec", 0, 0xFF, 0x10}}, v, error)) return nullptr;
        NvramModel::Options options;
        options.kind = kind;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<NvramModel>(options);
    };
    k.commands["reject"] = rejectCommand<NvramModel>();
    k.commands["payloads"] = query<NvramModel>("payloads", ExtraArgs::Refused,
                                               [](const NvramModel& d) { return hexList(d.received()); });
    k.commands["nvdump"] =
        command<NvramModel>("<device address> <length>", [](auto& d, const ModelArgs& a, std::string& reply) {
            long address = 0, length = 0;
            std::vector<uint8_t> bytes;
            if (a.size() != 2 || !parseNumber(a[0], 0, 0xFFFF, address) || !parseNumber(a[1], 0, 0xFFFF, length)) {
                reply = usageOf("nvdump", "<device address> <length>");
                return false;
            }
            if (!d.dump(static_cast<uint32_t>(address), static_cast<size_t>(length), bytes)) {
                reply = "outside the memory";
                return false;
            }
            reply = hexBytes(bytes);
            return true;
        });
    k.commands["nvcut"] = command<NvramModel>("<n> [<k>]", [](auto& d, const ModelArgs& a, std::string& reply) {
        long whole = 0, partial = 0;
        if (a.empty() || a.size() > 2 || !parseNumber(a[0], 0, 1000000, whole) ||
            (a.size() == 2 && !parseNumber(a[1], 0, 0xFFFF, partial))) {
            reply = usageOf("nvcut", "<n> [<k>]");
            return false;
        }
        d.planCut(static_cast<int>(whole), static_cast<int>(partial));
        reply = "cut after " + std::to_string(whole) + " writes and " + std::to_string(partial) + " bytes";
        return true;
    });
    return k;
}

ModelKind rs232Kind() {
    ModelKind k;
    k.name = "rs232";
    k.description = "RS-232 port behind the bus (echo=, ec=, quickbreak=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"echo", 0, 1, 0}, {"ec", 0, 0xFF, 0x10}, {"quickbreak", 0, 1, 0}}, v, error))
            return nullptr;
        Rs232Model::Options options;
        options.echo = v["echo"] != 0;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.quickBreak = v["quickbreak"] != 0;
        return std::make_unique<Rs232Model>(options);
    };
    k.commands["reject"] = rejectCommand<Rs232Model>();
    k.commands["unasked"] = unaskedCommand<Rs232Model>();
    k.commands["payloads"] = query<Rs232Model>("payloads", ExtraArgs::Refused,
                                               [](const Rs232Model& d) { return hexList(d.received()); });
    k.commands["tx"] =
        query<Rs232Model>("tx", ExtraArgs::Ignored, [](const Rs232Model& d) { return hexBytes(d.transmitted()); });
    auto rx = [](bool line) {
        const std::string verb = line ? "rxline" : "rx", args = line ? "<hex bytes> <line status>" : "<hex bytes>";
        return command<Rs232Model>(args, [line, verb, args](auto& d, const ModelArgs& a, std::string& reply) {
            std::vector<uint8_t> bytes;
            long ls = 0;
            if (a.size() != (line ? 2u : 1u) || !parseHexBytes(a[0], bytes) || bytes.empty() || bytes.size() > 1024 ||
                (line && !parseNumber(a[1], 0, 0xFF, ls))) {
                reply = usageOf(verb, args);
                return false;
            }
            d.queueReceived(bytes, line, static_cast<uint8_t>(ls));
            reply = "queued " + std::to_string(bytes.size()) + " bytes";
            return true;
        });
    };
    k.commands["rx"] = rx(false);
    k.commands["rxline"] = rx(true);
    k.commands["lines"] = choiceCommand<Rs232Model>("lines", "on|off", "on", "off",
                                                    [](Rs232Model& d, bool on) { d.setLines(on); });
    k.commands["hold"] = choiceCommand<Rs232Model>("hold", "on|off", "on", "off",
                                                   [](Rs232Model& d, bool on) { d.setHold(on); });
    return k;
}

ModelKind apaKind() {
    ModelKind k;
    k.name = "apa";
    k.description = "graphic display of 160 x 36 pixels (type=, ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"type", 0, 0xFF, 0x80}, {"ec", 0, 0xFF, 0x10}}, v, error)) return nullptr;
        ApaModel::Options options;
        options.type = static_cast<uint8_t>(v["type"]);
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<ApaModel>(options);
    };
    auto apaQuery = [](const char* name, std::string (*show)(const ApaModel&)) {
        return query<ApaModel>(name, ExtraArgs::Refused, show);
    };
    // Every command the display received, oldest first, in hex.
    k.commands["reject"] = rejectCommand<ApaModel>();
    k.commands["payloads"] = apaQuery("payloads", [](const ApaModel& d) { return hexList(d.commands()); });
    // The picture: 36 rows of 40 hex digits, the top row first.
    k.commands["picture"] = apaQuery("picture", [](const ApaModel& d) { return d.picture(); });
    k.commands["textline"] = apaQuery("textline", [](const ApaModel& d) {
        return hexBytes(std::vector<uint8_t>(d.textLine().begin(), d.textLine().end()));
    });
    return k;
}

ModelKind scannerKind(const std::string& name, ScannerModel::Kind kind, const std::string& description) {
    ModelKind k;
    k.name = name;
    k.description = description;
    const bool flags = kind == ScannerModel::Kind::Scan97 || kind == ScannerModel::Kind::Scan98;
    const bool warmup = kind == ScannerModel::Kind::Scan87;
    const bool handHeld = kind == ScannerModel::Kind::HandHeld1 || kind == ScannerModel::Kind::HandHeld2 ||
                          kind == ScannerModel::Kind::HandHeld20;
    k.make = [kind, flags, warmup, handHeld](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        long ec = 0, ident = 0, twoLabel = 1, warm = 0;
        const bool known = handHeld ? onlyOptions(o, {"ec"}, error)
                           : flags  ? onlyOptions(o, {"ec", "ident", "twolabel"}, error)
                           : warmup ? onlyOptions(o, {"ec", "ident", "warmup"}, error)
                                    : onlyOptions(o, {"ec", "ident"}, error);
        if (!known || !numberOption(o, "ec", 0, 0xFF, 0x21, ec, error) ||
            !numberOption(o, "ident", 0, 0xFFFF, 0, ident, error) ||
            !numberOption(o, "twolabel", 0, 1, 1, twoLabel, error) ||
            !numberOption(o, "warmup", 0, 600000, 0, warm, error))
            return nullptr;
        ScannerModel::Options options;
        options.kind = kind;
        options.ecLevel = static_cast<uint8_t>(ec);
        options.ident = static_cast<uint16_t>(ident);
        options.twoLabel = twoLabel != 0;
        options.warmupMs = static_cast<int32_t>(warm);
        return std::make_unique<ScannerModel>(options);
    };
    k.commands["label"] =
        command<ScannerModel>("<upca|upce|ean8|ean13> <digits>", [](auto& d, const ModelArgs& a, std::string& reply) {
            if (a.size() != 2 || !d.label(a[0], a[1])) {
                reply = usageOf("label", "<upca|upce|ean8|ean13> <digits>");
                return false;
            }
            reply = "label " + a[0] + " " + a[1];
            return true;
        });
    k.commands["scan"] =
        command<ScannerModel>("<hex> [<hex> ...]", [](auto& d, const ModelArgs& a, std::string& reply) {
            std::vector<std::vector<uint8_t>> messages;
            for (const std::string& h : a) {
                std::vector<uint8_t> bytes;
                if (!parseHexBytes(h, bytes) || bytes.empty()) {
                    messages.clear();
                    break;
                }
                messages.push_back(bytes);
            }
            if (messages.empty()) {
                reply = "usage: scan <slot> <port> <address> <hex bytes> [<hex bytes> ...]";
                return false;
            }
            d.scan(messages);
            reply = "scan of " + std::to_string(messages.size()) + " messages";
            return true;
        });
    k.commands["noread"] = command<ScannerModel>("", [](auto& d, const ModelArgs& a, std::string& reply) {
        if (!a.empty() || !d.noRead()) {
            reply = usageOf("noread", "(hand-held scanners only)");
            return false;
        }
        reply = "no label";
        return true;
    });
    k.commands["fault"] =
        command<ScannerModel>("<hw|status|diag>", [](auto& d, const ModelArgs& a, std::string& reply) {
            if (a.size() != 1 || !d.fault(a[0])) {
                reply = usageOf("fault", "<hw|status|diag> (diag: not on 96, 97, 98)");
                return false;
            }
            reply = "fault " + a[0];
            return true;
        });
    k.commands["reject"] = rejectCommand<ScannerModel>();
    k.commands["scanner"] =
        query<ScannerModel>("scanner", ExtraArgs::Ignored, [](const ScannerModel& d) { return d.state(); });
    k.commands["payloads"] = query<ScannerModel>("payloads", ExtraArgs::Ignored,
                                                 [](const ScannerModel& d) { return hexList(d.received()); });
    return k;
}

ModelKind scaleKind(const std::string& name, ScaleModel::Kind kind, const std::string& description) {
    ModelKind k;
    k.name = name;
    k.description = description;
    k.make = [kind](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        OptionValues v;
        if (!readOptions(o, {{"ec", 0, 0xFF, 0x21}, {"display", 0, 1, 1}}, v, error)) return nullptr;
        ScaleModel::Options options;
        options.kind = kind;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        options.display = v["display"] != 0;
        return std::make_unique<ScaleModel>(options);
    };
    k.commands["weight"] = command<ScaleModel>("<weight 0-99999>", [](auto& d, const ModelArgs& a, std::string& reply) {
        long w = 0;
        if (a.size() != 1 || !parseNumber(a[0], 0, 99999, w)) {
            reply = usageOf("weight", "<weight 0-99999>");
            return false;
        }
        d.setWeight(static_cast<uint32_t>(w));
        reply = "weight " + std::to_string(w);
        return true;
    });
    auto onOff = [](const char* name, void (ScaleModel::*set)(bool)) {
        return choiceCommand<ScaleModel>(name, "<on|off>", "on", "off",
                                         [set](ScaleModel& d, bool on) { (d.*set)(on); });
    };
    k.commands["unstable"] = onOff("unstable", &ScaleModel::setUnstable);
    k.commands["overweight"] = onOff("overweight", &ScaleModel::setOverweight);
    k.commands["mute"] = onOff("mute", &ScaleModel::setMute);
    k.commands["zero"] = choiceCommand<ScaleModel>("zero", "<ok|fail>", "ok", "fail",
                                                   [](ScaleModel& d, bool ok) { d.setZeroWorks(ok); });
    k.commands["reject"] = rejectCommand<ScaleModel>();
    k.commands["scale"] = query<ScaleModel>("scale", ExtraArgs::Ignored, [](const ScaleModel& d) { return d.state(); });
    k.commands["payloads"] = query<ScaleModel>("payloads", ExtraArgs::Ignored,
                                               [](const ScaleModel& d) { return hexList(d.received()); });
    return k;
}

ModelKind msrKind() {
    ModelKind k;
    k.name = "msr";
    k.description = "magnetic stripe reader (kind=3|2|1|j, encoder=0|1, ec=)";
    k.make = [](const ModelOptions& o, std::string& error) -> std::unique_ptr<DeviceModel> {
        MsrModel::Options options;
        auto kind = o.find("kind");
        if (kind != o.end()) {
            const std::string& v = kind->second;
            if (v == "3") options.kind = MsrModel::THREE;
            else if (v == "2") options.kind = MsrModel::TWO;
            else if (v == "1") options.kind = MsrModel::ONE;
            else if (v == "j") options.kind = MsrModel::JIS;
            else {
                error = "option kind must be 3, 2, 1 or j";
                return nullptr;
            }
        }
        OptionValues v;
        if (!readOptions(o, {{"encoder", 0, 1, 0}, {"ec", 0, 0xFF, 0x10}}, v, error, {"kind"})) return nullptr;
        options.encoder = v["encoder"] != 0;
        options.ecLevel = static_cast<uint8_t>(v["ec"]);
        return std::make_unique<MsrModel>(options);
    };
    k.commands["swipe"] =
        command<MsrModel>("<t1> <t2> [<t3>] (-: no data)", [](auto& d, const ModelArgs& a, std::string& reply) {
            MsrModel::Track t[3];
            for (size_t i = 0; i < a.size() && i < 3; ++i) {
                t[i].present = a[i] != "-";
                if (t[i].present) t[i].data = a[i];
            }
            if (a.size() < 2 || a.size() > 3) {
                reply = usageOf("swipe", "<t1> <t2> [<t3>] (-: no data)");
                return false;
            }
            const std::vector<uint8_t> message = d.swipeMessage(t[0], t[1], t[2]);
            if (!d.swipe(t[0], t[1], t[2])) {
                reply = "a track holds at most 255 characters";
                return false;
            }
            reply = "swipe " + hexBytes(message);
            return true;
        });
    k.commands["trackerror"] = command<MsrModel>("<track 1-3>", [](auto& d, const ModelArgs& a, std::string& reply) {
        long n = 0;
        if (a.size() != 1 || !parseNumber(a[0], 1, 3, n)) {
            reply = usageOf("trackerror", "<track 1-3>");
            return false;
        }
        d.trackError(static_cast<int>(n));
        reply = "trackerror " + a[0];
        return true;
    });
    k.commands["encode"] = choiceCommand<MsrModel>("encode", "<ok|fail>", "ok", "fail",
                                                   [](MsrModel& d, bool ok) { d.setEncodeWorks(ok); });
    k.commands["notready"] = choiceCommand<MsrModel>("notready", "<on|off>", "on", "off",
                                                     [](MsrModel& d, bool on) { d.setNotReady(on); });
    k.commands["push"] = pushCommand<MsrModel>();
    k.commands["reject"] = rejectCommand<MsrModel>();
    // Every payload the reader received, and the data of every encode command, in hex.
    k.commands["payloads"] = query<MsrModel>("payloads", ExtraArgs::Refused,
                                             [](const MsrModel& d) { return hexList(d.received()); });
    k.commands["written"] = query<MsrModel>("written", ExtraArgs::Refused,
                                            [](const MsrModel& d) { return hexList(d.written()); });
    return k;
}

} // namespace

void registerBuiltinModels(ModelRegistry& registry) {
    registry.add(testDeviceKind());
    registry.add(drawerKind());
    registry.add(keyboardKind());
    registry.add(displayKind("anum", "numeric display, two rows of 20 dot cells"));
    registry.add(displayKind("oper", "operator display, two rows of 20 characters"));
    registry.add(displayKind("anop", "alphanumeric operator display"));
    registry.add(displayKind("shop", "shopper display, one line of 12 characters"));
    registry.add(testPrinterKind());
    registry.add(p6397Kind());
    registry.add(m2PrinterKind());
    registry.add(m3PrinterKind());
    registry.add(m3fPrinterKind());
    registry.add(srjPrinterKind());
    registry.add(trjPrinterKind());
    registry.add(nvramKind("nvcop", NvramModel::Kind::Cop, "NVRAM of 1024 bytes at 0x100 (ec=)"));
    registry.add(nvramKind("nvocr", NvramModel::Kind::Ocr,
                           "journalled NVRAM of 16384 bytes at 0xC00 with power control (ec=)"));
    registry.add(rs232Kind());
    registry.add(apaKind());
    registry.add(touchKind("touch95", TouchModel::Kind::Touch95, 16));
    registry.add(touchKind("touchelo", TouchModel::Kind::Elo, 19));
    registry.add(scannerKind("scan96", ScannerModel::Kind::Scan96, "table-top scanner 96 (ec=, ident=)"));
    registry.add(scannerKind("scan97", ScannerModel::Kind::Scan97,
                             "table-top scanner 97 with two-label flags (ec=, ident=, twolabel=)"));
    registry.add(scannerKind("scan98", ScannerModel::Kind::Scan98,
                             "table-top scanner 98 with two-label flags (ec=, ident=, twolabel=)"));
    registry.add(scannerKind("scan87", ScannerModel::Kind::Scan87, "table-top scanner 87 (ec=, ident=, warmup=)"));
    registry.add(scannerKind("scan8612", ScannerModel::Kind::Scan8612, "scanner 8612 (ec=, ident=)"));
    registry.add(scannerKind("scan8634", ScannerModel::Kind::Scan8634, "scanner 8634 (ec=, ident=)"));
    registry.add(scannerKind("hh1", ScannerModel::Kind::HandHeld1, "hand-held scanner 1 (ec=)"));
    registry.add(scannerKind("hh2", ScannerModel::Kind::HandHeld2, "hand-held scanner 2 (ec=)"));
    registry.add(scannerKind("hh20", ScannerModel::Kind::HandHeld20, "hand-held scanner 20 (ec=)"));
    registry.add(scaleKind("scale96", ScaleModel::Kind::Scale96, "scale 96 with a remote display (ec=, display=)"));
    registry.add(scaleKind("scale87", ScaleModel::Kind::Scale87, "scale 87 (ec=)"));
    registry.add(msrKind());
}

} // namespace bussim

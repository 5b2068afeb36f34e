// The device models that ovksim can put on its bus, by name, each with the scripting
// commands that act on a station of that model. A family adds its model with one entry in
// registerBuiltinModels (ovksimmodels.cpp): a factory that reads the model's options and
// the commands it takes.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "busmodel.h"

namespace bussim {

// key=value options of a station (terminal description or attach command).
using ModelOptions = std::map<std::string, std::string>;
using ModelArgs = std::vector<std::string>;

struct ModelCommand {
    std::string usage; // the arguments after slot, port and address, for help
    // Runs on the station's model (under the engine's lock): the reply after "ok " on
    // success, or false with the reason in `reply`.
    std::function<bool(DeviceModel& model, const ModelArgs& args, std::string& reply)> run;
};

struct ModelKind {
    std::string name;
    std::string description;
    // The model for these options, or null with the reason in `error`.
    std::function<std::unique_ptr<DeviceModel>(const ModelOptions& options, std::string& error)> make;
    std::map<std::string, ModelCommand> commands;
};

class ModelRegistry {
public:
    // False when a kind of that name is there already.
    bool add(ModelKind kind);
    const ModelKind* find(const std::string& name) const;
    // The kind that has a command of that name (the first added), or null.
    const ModelKind* findCommand(const std::string& command) const;
    std::vector<std::string> names() const;

private:
    std::vector<ModelKind> kinds_;
};

// Enters every model of the simulator. On a running simulator `ovksim -x help` names its own
// commands and `ovksim -x models` every model with its commands. Printer models add the
// printer kit's commands with addPrinterCommands (models/printercommands.h).
void registerBuiltinModels(ModelRegistry& registry);

// Helpers for the model entries: numbers in decimal or 0x hex (false when not a whole number
// within [min, max]) and hex byte strings ("0102ff", false when malformed).
bool parseNumber(const std::string& text, long min, long max, long& value);
bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes);
std::string hexBytes(const std::vector<uint8_t>& bytes);
// An option as a number (the default when it is not given); false with the reason in
// `error` when it is given but not a number within [min, max].
bool numberOption(const ModelOptions& options, const std::string& key, long min, long max,
                  long fallback, long& value, std::string& error);

} // namespace bussim

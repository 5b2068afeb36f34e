// The system configuration file as a table: sections of keys, each key with one or more
// values in file order. Section names and keys are compared without regard to case; values
// are kept as written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ovktypes.h"

class ConfTable {
public:
    // Reads the named file. A file that cannot be opened gives a table with only the empty
    // default section "global".
    explicit ConfTable(std::string fileName);
    virtual ~ConfTable();

    // Every lookup below takes the section name trimmed of blanks and tabs and upper-cased;
    // an empty name means the default section. A key missing in a named section is looked
    // for in the default section.

    // 0 and the key's first value, or -1.
    int find(const std::string& key, std::string*& value, const std::string& section = "");
    // 0 and every value of the key in file order (appended to values), or -1.
    int find(const std::string& key, std::vector<std::string*>& values,
             const std::string& section = "");

    // true when the value, lower-cased, is "true", "on" or "yes"; the default when absent.
    bool getValue(const std::string& key, bool defaultValue, const std::string& section = "");
    const char* getValue(const std::string& key, const char* defaultValue,
                         const std::string& section = "");
    std::string getValue(const std::string& key, const std::string& defaultValue,
                         const std::string& section = "");
    // Converted with base 0 (0x hexadecimal, leading 0 octal, else decimal).
    unsigned long getValue(const std::string& key, unsigned long defaultValue,
                           const std::string& section = "");
    long getValue(const std::string& key, long defaultValue, const std::string& section = "");

    // Each value as "slot.port.address" (three base-0 numbers, each further one starting at
    // the next decimal digit); values that do not yield three numbers are skipped.
    int getValues(const std::string& key, std::vector<DeviceID>& values,
                  const std::string& section = "");
    int getValues(const std::string& key, std::vector<const char*>& values,
                  const std::string& section = "");
    int getValues(const std::string& key, std::vector<std::string>& values,
                  const std::string& section = "");
    int getValues(const std::string& key, std::vector<unsigned long>& values,
                  const std::string& section = "");
    int getValues(const std::string& key, std::vector<long>& values,
                  const std::string& section = "");

    // true when no section holds a key.
    bool empty() const;

private:
    using Section = std::multimap<std::string, std::string>;

    void parseLine(const std::string& line, Section*& current);
    // The values of the key in file order, after the section fallback; empty when none.
    std::vector<std::string*> lookup(const std::string& key, const std::string& section);

    std::map<std::string, Section> sections_;
};

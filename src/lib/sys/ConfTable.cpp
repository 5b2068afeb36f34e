// Configuration file table: reads "[SECTION]" headers and "key = value" lines.
#include "ConfTable.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace {

// The section in force before the first header; the only name that is not upper-cased, so a
// header naming "global" opens a different section, "GLOBAL".
const char* const kDefaultSection = "global";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Position of the last character in [from, to) that is neither blank nor tab, or npos.
size_t lastNonBlank(const std::string& s, size_t from, size_t to) {
    while (to > from) {
        --to;
        if (!isBlank(s[to])) return to;
    }
    return std::string::npos;
}

} // namespace

ConfTable::ConfTable(std::string fileName) {
    Section* current = &sections_[kDefaultSection];
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (in && std::getline(in, line)) parseLine(line, current);
}

ConfTable::~ConfTable() = default;

void ConfTable::parseLine(const std::string& line, Section*& current) {
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    if (first == line.size()) return;
    char lead = line[first];
    if (lead == '!' || lead == '#' || lead == '=') return;

    if (lead == '[') {
        size_t close = line.find(']', first + 1);
        if (close != std::string::npos) {
            size_t b = first + 1;
            while (b < close && isBlank(line[b])) ++b;
            size_t e = lastNonBlank(line, b, close);
            if (e == std::string::npos) return; // empty name
            current = &sections_[upper(line.substr(b, e - b + 1))];
            return;
        }
        // "[" without "]" is not a header; the line may still be an entry.
    }

    size_t eq = line.find('=', first);
    if (eq == std::string::npos) return;
    size_t keyEnd = lastNonBlank(line, first, eq);
    if (keyEnd == std::string::npos) return;
    std::string key = upper(line.substr(first, keyEnd - first + 1));

    size_t vb = eq + 1;
    size_t ve = lastNonBlank(line, vb, line.size());
    if (ve == std::string::npos) return; // nothing but blanks after "="
    // Quotes count only when they stand right after "=" and at the end, as a pair.
    if (ve > vb && line[vb] == line[ve] && (line[vb] == '"' || line[vb] == '\'')) {
        ++vb;
        --ve;
    }
    std::string value = (ve + 1 > vb) ? line.substr(vb, ve - vb + 1) : std::string();
    size_t leadBlanks = 0;
    while (leadBlanks < value.size() && isBlank(value[leadBlanks])) ++leadBlanks;
    value.erase(0, leadBlanks);
    if (value.empty()) return;

    // multimap::insert places an equal key after the ones already there: file order.
    current->insert(Section::value_type(key, value));
}

std::vector<std::string*> ConfTable::lookup(const std::string& key, const std::string& section) {
    std::vector<std::string*> out;
    std::string k = upper(trim(key));
    std::string s = upper(trim(section));
    if (s.empty()) s = kDefaultSection;

    auto collect = [&](const std::string& name) {
        auto sec = sections_.find(name);
        if (sec == sections_.end()) return;
        auto range = sec->second.equal_range(k);
        for (auto it = range.first; it != range.second; ++it) out.push_back(&it->second);
    };
    collect(s);
    if (out.empty() && s != kDefaultSection) collect(kDefaultSection);
    return out;
}

int ConfTable::find(const std::string& key, std::string*& value, const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    if (v.empty()) return -1;
    value = v.front();
    return 0;
}

int ConfTable::find(const std::string& key, std::vector<std::string*>& values,
                    const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    if (v.empty()) return -1;
    values.insert(values.end(), v.begin(), v.end());
    return 0;
}

bool ConfTable::getValue(const std::string& key, bool defaultValue, const std::string& section) {
    std::string* v = nullptr;
    if (find(key, v, section) != 0) return defaultValue;
    std::string lower = *v;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "true" || lower == "on" || lower == "yes";
}

const char* ConfTable::getValue(const std::string& key, const char* defaultValue,
                                const std::string& section) {
    std::string* v = nullptr;
    if (find(key, v, section) != 0) return defaultValue;
    return v->c_str();
}

std::string ConfTable::getValue(const std::string& key, const std::string& defaultValue,
                                const std::string& section) {
    std::string* v = nullptr;
    if (find(key, v, section) != 0) return defaultValue;
    return *v;
}

unsigned long ConfTable::getValue(const std::string& key, unsigned long defaultValue,
                                  const std::string& section) {
    std::string* v = nullptr;
    if (find(key, v, section) != 0) return defaultValue;
    return std::strtoul(v->c_str(), nullptr, 0);
}

long ConfTable::getValue(const std::string& key, long defaultValue, const std::string& section) {
    std::string* v = nullptr;
    if (find(key, v, section) != 0) return defaultValue;
    return std::strtol(v->c_str(), nullptr, 0);
}

namespace {

// Reads slot, port and address from text such as "1.17.0x35". false unless three numbers.
bool parseDeviceId(const char* text, DeviceID& id) {
    unsigned long n[3];
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            while (*p && !std::isdigit(static_cast<unsigned char>(*p))) ++p;
            if (!*p) return false;
        }
        char* end = nullptr;
        n[i] = std::strtoul(p, &end, 0);
        if (end == p) return false;
        p = end;
    }
    id = DeviceID(static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]),
                  static_cast<uint8_t>(n[2]));
    return true;
}

} // namespace

int ConfTable::getValues(const std::string& key, std::vector<DeviceID>& values,
                         const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    for (std::string* s : v) {
        DeviceID id;
        if (parseDeviceId(s->c_str(), id)) values.push_back(id);
    }
    return v.empty() ? -1 : 0;
}

int ConfTable::getValues(const std::string& key, std::vector<const char*>& values,
                         const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    for (std::string* s : v) values.push_back(s->c_str());
    return v.empty() ? -1 : 0;
}

int ConfTable::getValues(const std::string& key, std::vector<std::string>& values,
                         const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    for (std::string* s : v) values.push_back(*s);
    return v.empty() ? -1 : 0;
}

int ConfTable::getValues(const std::string& key, std::vector<unsigned long>& values,
                         const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    for (std::string* s : v) values.push_back(std::strtoul(s->c_str(), nullptr, 0));
    return v.empty() ? -1 : 0;
}

int ConfTable::getValues(const std::string& key, std::vector<long>& values,
                         const std::string& section) {
    std::vector<std::string*> v = lookup(key, section);
    for (std::string* s : v) values.push_back(std::strtol(s->c_str(), nullptr, 0));
    return v.empty() ? -1 : 0;
}

bool ConfTable::empty() const {
    for (const auto& s : sections_)
        if (!s.second.empty()) return false;
    return true;
}

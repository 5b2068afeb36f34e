#include "OposData.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

struct Row {
    std::string where; // "file:line" for messages
    std::vector<std::string> cells;
};

// The rows of a tab-separated file after its header line, each with `columns` cells or more.
std::vector<Row> readTsv(const std::string& folder, const std::string& file, size_t columns) {
    const std::string path = folder + "/" + file;
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    std::vector<Row> rows;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1 || line.empty()) continue;
        Row row{file + ":" + std::to_string(number), {}};
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            row.cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (row.cells.size() < columns)
            throw std::runtime_error(row.where + ": " + std::to_string(columns) + " columns expected");
        rows.push_back(std::move(row));
    }
    return rows;
}

int32_t toInt32(const Row& row, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX)
        throw std::runtime_error(row.where + ": \"" + text + "\" is not a 32-bit number");
    return static_cast<int32_t>(v);
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

struct TableOwner {
    std::string prefix;   // "Disp", "Prn", ...; empty for the common tables
    std::string category; // "Disp", "Ptr", ...; "Common"
};

// The property category a table belongs to: the longest category name that begins the table
// name as a word of its own ("Prn" is the printer's), else the common properties.
TableOwner tableOwner(const std::string& table, const std::vector<std::string>& categories) {
    TableOwner best{"", "Common"};
    auto consider = [&](const std::string& prefix, const std::string& category) {
        if (table.size() > prefix.size() && table.compare(0, prefix.size(), prefix) == 0 &&
            std::isupper(static_cast<unsigned char>(table[prefix.size()])) && prefix.size() > best.prefix.size())
            best = {prefix, category};
    };
    for (const auto& c : categories) consider(c, c);
    consider("Prn", "Ptr");
    return best;
}

// The property names a header section says its constants are for: each run of quoted names
// followed by "Property", "Properties" or "Capability". "Xxx" stands for each station.
std::vector<std::string> sectionProperties(const std::string& section) {
    std::vector<std::string> names, run;
    size_t i = 0;
    while (i < section.size()) {
        const char c = section[i];
        if (c == ' ' || c == ',' || c == ':') {
            ++i;
        } else if (c == '"') {
            const size_t close = section.find('"', i + 1);
            if (close == std::string::npos) break;
            run.push_back(section.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = i;
            while (end < section.size() && section[end] != ' ' && section[end] != ',' && section[end] != '"') ++end;
            const std::string word = section.substr(i, end - i);
            i = end;
            if (word == "and") continue;
            if (word.rfind("Propert", 0) == 0 || word.rfind("Capabilit", 0) == 0)
                names.insert(names.end(), run.begin(), run.end());
            run.clear();
        }
    }
    std::vector<std::string> expanded;
    for (const auto& n : names) {
        const size_t x = n.find("Xxx");
        if (x == std::string::npos) {
            expanded.push_back(n);
            continue;
        }
        for (const char* station : {"Jrn", "Rec", "Slp"}) expanded.push_back(std::string(n).replace(x, 3, station));
    }
    return expanded;
}

} // namespace

const OposValueTable* OposData::table(const std::string& name) const {
    for (const auto& t : tables)
        if (t.name == name) return &t;
    return nullptr;
}

OposData LoadOposData(const std::string& folder) {
    OposData data;

    // Tables in the order tables.tsv lists them, filled from values.tsv.
    std::map<std::string, size_t> position;
    const std::vector<Row> tableRows = readTsv(folder, "tables.tsv", 5);
    for (const Row& r : tableRows) {
        if (position.count(r.cells[0])) throw std::runtime_error(r.where + ": table " + r.cells[0] + " listed twice");
        position[r.cells[0]] = data.tables.size();
        data.tables.push_back({r.cells[0], {}});
    }
    for (const Row& r : readTsv(folder, "values.tsv", 3)) {
        const auto at = position.find(r.cells[0]);
        if (at == position.end()) throw std::runtime_error(r.where + ": table " + r.cells[0] + " is not in tables.tsv");
        data.tables[at->second].rows.push_back({r.cells[1], toInt32(r, r.cells[2])});
    }
    for (const auto& t : data.tables)
        if (t.rows.empty()) throw std::runtime_error("tables.tsv: table " + t.name + " has no values");

    // A category's status-update events are followed by the common ones (power, firmware).
    if (const OposValueTable* common = data.table("StatusUpdateEvent")) {
        const std::vector<OposValue> commonRows = common->rows;
        for (auto& t : data.tables)
            if (t.name != "StatusUpdateEvent" && endsWith(t.name, "StatusUpdateEvent"))
                t.rows.insert(t.rows.end(), commonRows.begin(), commonRows.end());
    }

    // The system's own codes, after the standard ones of the tables they extend.
    for (const Row& r : readTsv(folder, "system-values.tsv", 3)) {
        const int32_t value = toInt32(r, r.cells[2]);
        size_t start = 0;
        for (;;) {
            const size_t comma = r.cells[0].find(',', start);
            const std::string name = r.cells[0].substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            const auto at = position.find(name);
            if (at == position.end()) throw std::runtime_error(r.where + ": table " + name + " does not exist");
            data.tables[at->second].rows.push_back({r.cells[1], value});
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }

    std::vector<std::string> categories;
    for (const Row& r : readTsv(folder, "properties.tsv", 4)) {
        const std::string& kind = r.cells[3];
        if (kind != "bool" && kind != "number" && kind != "string")
            throw std::runtime_error(r.where + ": kind \"" + kind + "\" is not bool, number or string");
        data.properties.push_back({r.cells[0], r.cells[1], toInt32(r, r.cells[2]), kind, ""});
        if (r.cells[0] != "Common" && std::find(categories.begin(), categories.end(), r.cells[0]) == categories.end())
            categories.push_back(r.cells[0]);
    }

    auto findProperty = [&](const std::string& category, const std::string& name) -> OposProperty* {
        for (auto& p : data.properties)
            if (p.category == category && p.name == name) return &p;
        return nullptr;
    };

    // Links the header sections give: a table named after its property wins over others
    // whose section names that property too; else the first such table.
    for (const Row& r : tableRows) {
        const std::string& table = r.cells[0];
        if (endsWith(table, "RcExt") || table == "General") continue; // by class, or no property's
        const TableOwner owner = tableOwner(table, categories);
        for (const auto& name : sectionProperties(r.cells[4])) {
            OposProperty* p = findProperty(owner.category, name);
            if (!p || p->kind != "number") continue;
            if (p->table.empty() || table == owner.prefix + name) p->table = table;
        }
    }

    // Links the sections do not give, kept by the system (station properties and the like).
    for (const Row& r : readTsv(folder, "property-tables.tsv", 3)) {
        OposProperty* p = findProperty(r.cells[0], r.cells[1]);
        if (!p) throw std::runtime_error(r.where + ": property " + r.cells[0] + " " + r.cells[1] + " does not exist");
        if (p->kind != "number") throw std::runtime_error(r.where + ": property " + r.cells[1] + " is not a number");
        if (!data.table(r.cells[2])) throw std::runtime_error(r.where + ": table " + r.cells[2] + " does not exist");
        p->table = r.cells[2];
    }
    return data;
}

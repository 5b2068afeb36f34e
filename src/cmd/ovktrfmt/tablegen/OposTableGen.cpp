// Writes the formatter's OPOS name tables as C++ from the data folder:
//   ovkoposgen <data folder> <header out> <source out>
// The header declares a TableEntry array "Opos<table>" per value table and the index of all
// of them by name; the source defines them, the property table OposProp (a row per numeric
// property: bool ones through TrueFalse, number ones through their value table or as a
// number) and OposPropString (every string property).
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "OposData.h"

namespace {

// Tables the name-table library already holds under the same identifier.
bool heldElsewhere(const std::string& table) { return table == "Rc"; }

std::string identifier(const std::string& table) {
    for (char c : table)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            throw std::runtime_error("table name \"" + table + "\" is no C++ identifier");
    return "Opos" + table;
}

std::string literal(const std::string& text) {
    for (char c : text)
        if (c == '"' || c == '\\' || !std::isprint(static_cast<unsigned char>(c)))
            throw std::runtime_error("name \"" + text + "\" holds a character a name may not hold");
    return "\"" + text + "\"";
}

void write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error(path + ": cannot be written");
}

std::string header(const OposData& data) {
    std::ostringstream h;
    h << "// Written by ovkoposgen from the formatter's data folder: edit the data, not this file.\n"
         "#pragma once\n\n#include \"NameTables.h\"\n\n";
    for (const auto& t : data.tables)
        if (!heldElsewhere(t.name)) h << "extern const TableEntry " << identifier(t.name) << "[];\n";
    h << "\nstruct OposNamedTable {\n    const char* Name; // the data's table name, without \"Opos\"\n"
         "    const TableEntry* Table;\n};\n\n"
         "// Every value table by name, ending with a row whose Name is null.\n"
         "extern const OposNamedTable OposValueTables[];\n";
    return h.str();
}

std::string source(const OposData& data) {
    std::ostringstream s;
    s << "// Written by ovkoposgen from the formatter's data folder: edit the data, not this file.\n"
         "#include \"OposTables.h\"\n";
    for (const auto& t : data.tables) {
        if (heldElsewhere(t.name)) continue;
        s << "\nconst TableEntry " << identifier(t.name) << "[] = {\n";
        for (const auto& v : t.rows) s << "    {" << v.value << ", " << literal(v.name) << "},\n";
        s << "    {0, nullptr},\n};\n";
    }
    s << "\nconst OposNamedTable OposValueTables[] = {\n";
    for (const auto& t : data.tables) s << "    {" << literal(t.name) << ", " << identifier(t.name) << "},\n";
    s << "    {nullptr, nullptr},\n};\n";

    s << "\nconst PropTableEntry OposProp[] = {\n";
    for (const auto& p : data.properties) {
        if (p.kind == "string") continue;
        const std::string values =
            p.kind == "bool" ? "TrueFalse" : p.table.empty() ? "nullptr" : identifier(p.table);
        s << "    {" << p.index << ", " << literal(p.name) << ", " << values << "},\n";
    }
    s << "    {0, nullptr, nullptr},\n};\n";

    s << "\nconst TableEntry OposPropString[] = {\n";
    for (const auto& p : data.properties)
        if (p.kind == "string") s << "    {" << p.index << ", " << literal(p.name) << "},\n";
    s << "    {0, nullptr},\n};\n";
    return s.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <data folder> <header out> <source out>\n", argv[0]);
        return 2;
    }
    try {
        const OposData data = LoadOposData(argv[1]);
        write(argv[2], header(data));
        write(argv[3], source(data));
    } catch (const std::exception& e) {
        std::cerr << argv[0] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}

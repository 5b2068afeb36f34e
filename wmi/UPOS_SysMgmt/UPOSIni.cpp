#include "UPOSIni.h"

#include <cctype>
#include <cstring>
#include <fstream>

bool StlIniCompareStringNoCase::operator()(const std::string& a, const std::string& b) const {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    // The longer text is the lesser.
    return a.size() > b.size();
}

void PutIniSetting(INIFile& ini, const char* section, const char* key, const char* value) {
    const std::string name = section ? section : "";
    auto it = ini.find(name);
    if (it == ini.end()) {
        INISection s;
        if (key) s.emplace(key, value ? value : "");
        ini.emplace(name, std::move(s));
        return;
    }
    if (!key) return;
    it->second.erase(key);
    it->second.emplace(key, value ? value : "");
}

std::string GetIniSetting(INIFile& ini, const char* section, const char* key, const char* def) {
    const auto s = ini.find(section ? section : "");
    if (s != ini.end() && key) {
        const auto k = s->second.find(key);
        if (k != s->second.end()) return k->second;
    }
    return def ? def : "";
}

INIFile LoadIni(const char* fileName) {
    INIFile ini;
    if (!fileName) return ini;
    std::ifstream in(fileName, std::ios::binary);
    std::string section;
    char line[500];
    while (in.good()) {
        std::memset(line, 0, sizeof line);
        // A line of more than 499 characters leaves the stream failed: its first 499
        // characters are the last line read.
        in.getline(line, sizeof line);
        if (char* p = std::strchr(line, '\n')) *p = '\0';
        if (char* p = std::strchr(line, '\r')) *p = '\0';
        const std::string text = line;
        const size_t close = text.rfind(']');
        if (!text.empty() && text[0] == '[' && close != std::string::npos && close > 0) {
            section = text.substr(1, close - 1);
            PutIniSetting(ini, section.c_str(), nullptr, "");
        } else if (!text.empty()) {
            const size_t eq = text.find('=');
            if (eq != std::string::npos)
                PutIniSetting(ini, section.c_str(), text.substr(0, eq).c_str(), text.substr(eq + 1).c_str());
            else
                PutIniSetting(ini, section.c_str(), text.c_str(), "");
        }
    }
    return ini;
}

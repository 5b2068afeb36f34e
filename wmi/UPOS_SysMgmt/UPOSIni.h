// The properties-file reader: sections of key=value lines, names compared without regard to
// letter case.
#pragma once

#include <map>
#include <string>

// Orders texts by their upper-case characters; when one text is a prefix of the other, the
// longer text is the lesser.
struct StlIniCompareStringNoCase {
    bool operator()(const std::string& a, const std::string& b) const;
};

using INISection = std::map<std::string, std::string, StlIniCompareStringNoCase>;
using INIFile = std::map<std::string, INISection, StlIniCompareStringNoCase>;

// Reads the whole file (an empty map when it cannot be opened).
INIFile LoadIni(const char* fileName);
std::string GetIniSetting(INIFile& ini, const char* section, const char* key, const char* def);
// Sets a value in memory; a null key only makes sure the section exists.
void PutIniSetting(INIFile& ini, const char* section, const char* key, const char* value);

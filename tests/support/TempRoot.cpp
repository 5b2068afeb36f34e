#include "TempRoot.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempRoot::TempRoot() {
    std::string tmpl = (fs::temp_directory_path() / "ovkroot.XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl;
    for (const char* d : {"/etc", "/usr/lib", "/usr/bin", "/usr/share/pos/fonts", "/var/log",
                          "/var/run", "/var/lib/misc", "/tmp", "/dev"})
        fs::create_directories(root_ + d);
    if (const char* prev = std::getenv("OVK_ROOT")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    setenv("OVK_ROOT", root_.c_str(), 1);
}

TempRoot::~TempRoot() {
    if (hadPrevious_) setenv("OVK_ROOT", previous_.c_str(), 1);
    else unsetenv("OVK_ROOT");
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void TempRoot::write(const std::string& systemPath, const std::string& contents) const {
    fs::path p(at(systemPath));
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string TempRoot::read(const std::string& systemPath) const {
    std::ifstream in(at(systemPath), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

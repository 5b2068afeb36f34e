// Name components of resource databases; see syresnames.h.
#include "syresnames.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <map>
#include <mutex>

namespace {

Bool collect(XrmDatabase*, XrmBindingList, XrmQuarkList quarks, XrmRepresentation*, XrmValue*,
             XPointer closure) {
    auto* components = reinterpret_cast<std::unordered_set<std::string>*>(closure);
    for (; quarks && *quarks != NULLQUARK; ++quarks)
        if (const char* s = XrmQuarkToString(*quarks)) components->insert(s);
    return False; // go on with the next entry
}

std::mutex registryMutex;
std::map<XrmDatabase, std::shared_ptr<const ResourceNames>>& registry() {
    static auto* r = new std::map<XrmDatabase, std::shared_ptr<const ResourceNames>>;
    return *r;
}

} // namespace

ResourceNames::ResourceNames(XrmDatabase database) {
    if (database) {
        XrmQuark none[1] = {NULLQUARK};
        XrmEnumerateDatabase(database, none, none, XrmEnumAllLevels, collect,
                             reinterpret_cast<XPointer>(&components_));
    }
    placeholder_ = "ovkUnnamed";
    for (int i = 0; components_.count(placeholder_); ++i) placeholder_ = "ovkUnnamed" + std::to_string(i);
}

bool ResourceNames::Translate(const std::string& name, std::string& out) const {
    out.clear();
    size_t depth = 0;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find_first_of(".*", start);
        const bool last = end == std::string::npos;
        const std::string component = name.substr(start, last ? std::string::npos : end - start);
        if (!component.empty() || last) {
            if (++depth > kMaxDepth) return false;
            if (!out.empty()) out += '.';
            out += Holds(component) ? component : placeholder_;
        }
        if (last) break;
        start = end + 1;
    }
    return true;
}

void ResourceNames::Register(XrmDatabase database) {
    if (!database) return;
    auto names = std::make_shared<const ResourceNames>(database);
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[database] = std::move(names);
}

void ResourceNames::Forget(XrmDatabase database) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(database);
}

std::shared_ptr<const ResourceNames> ResourceNames::For(XrmDatabase database) {
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = registry().find(database);
        if (it != registry().end()) return it->second;
    }
    return std::make_shared<const ResourceNames>(database);
}

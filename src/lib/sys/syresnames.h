// The name components a resource database holds, so that names from clients reach libX11's
// resource manager only in a form it already knows.
//
// Every string that the resource manager looks up becomes permanent quarks, one per new
// component: a client sending ever new device, class or application names would grow the
// daemon without bound. A component that no entry of the database names can match an entry
// only through a wildcard ("*" or "?"), exactly as any other such component would; so it is
// replaced by one fixed placeholder that the database does not hold either, and the lookup
// gives the same answer while only known strings become quarks.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>

typedef struct _XrmHashBucketRec* XrmDatabase;

class ResourceNames {
public:
    // Deepest name the resource manager takes (its lookups hold at most 100 components).
    static constexpr size_t kMaxDepth = 100;

    // The components of every entry of the database (null: none).
    explicit ResourceNames(XrmDatabase database);

    // `name` with each component the database does not hold replaced by the placeholder;
    // false when the name is deeper than kMaxDepth (such a name is never found). Components
    // are split at "." and "*" and empty ones dropped but the last, as the resource manager
    // does.
    bool Translate(const std::string& name, std::string& out) const;

    bool Holds(const std::string& component) const { return components_.count(component) != 0; }
    const std::string& Placeholder() const { return placeholder_; }

    // The components of a database built by InitResources are gathered once, when it is
    // loaded, and dropped when it is destroyed; any other database is read at each use.
    static void Register(XrmDatabase database);
    static void Forget(XrmDatabase database);
    static std::shared_ptr<const ResourceNames> For(XrmDatabase database);

private:
    std::unordered_set<std::string> components_;
    std::string placeholder_;
};

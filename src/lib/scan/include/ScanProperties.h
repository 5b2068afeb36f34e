// Model properties of the scanner client classes: each a resource row (name, class, default,
// value table), the field that holds it and its validation. A model class lists the
// properties it adds; these helpers load, check, take and answer a list on one object.
#pragma once

#include <cstdint>
#include <cstring>

#include "VDEV.h"
#include "syresource.h"

template <class V>
struct ScanProperty {
    const char* name;
    const char* className;
    int32_t V::*field;
    int32_t defaultValue;
    const posLookup* table;
    const int* rows;
    int (V::*validate)(intptr_t);
};

template <class V>
struct ScanPropertySet {
    const ScanProperty<V>* rows;
    int count;
};

// Loads the set's resources into the fields (the defaults where none is given).
template <class V>
int LoadScanProperties(V& v, const ScanPropertySet<V>& set, const unsigned char* resourceName,
                       const unsigned char* className) {
    static const unsigned char kNone[] = "";
    enum { kMaxRows = 24 };
    posResources rows[kMaxRows];
    int n = 0;
    for (int i = 0; i < set.count && n < kMaxRows; ++i, ++n) {
        const ScanProperty<V>& p = set.rows[i];
        rows[n] = {p.name, p.className, POSRES_INTEGER, &(v.*p.field), p.defaultValue, p.table,
                   p.rows ? *p.rows : 0};
    }
    int rc = v.LoadResources(resourceName ? resourceName : kNone, className ? className : kNone,
                             rows, n);
    v.DumpResources(rows, n);
    return rc;
}

// Validates every field of the set: 0 or the first error.
template <class V>
int ValidateScanProperties(V& v, const ScanPropertySet<V>& set) {
    for (int i = 0; i < set.count; ++i) {
        int rc = (v.*set.rows[i].validate)(v.*set.rows[i].field);
        if (rc != 0) return rc;
    }
    return 0;
}

// Checks the named arguments of the set (the first error returned), or, with store set,
// stores them into the fields.
template <class V>
int ApplyScanArguments(V& v, const ScanPropertySet<V>& set, PosArg* args, int count, bool store) {
    for (int a = 0; args && a < count; ++a) {
        if (!args[a].name) continue;
        for (int i = 0; i < set.count; ++i) {
            const ScanProperty<V>& p = set.rows[i];
            if (std::strcmp(args[a].name, p.name) != 0) continue;
            if (store) {
                v.*p.field = static_cast<int32_t>(args[a].value);
            } else {
                int rc = (v.*p.validate)(args[a].value);
                if (rc != 0) return rc;
            }
        }
    }
    return 0;
}

// Answers the named arguments of the set.
template <class V>
void AnswerScanProperties(V& v, const ScanPropertySet<V>& set, PosArg* args, int count) {
    for (int a = 0; args && a < count; ++a)
        for (int i = 0; args[a].name && i < set.count; ++i)
            if (std::strcmp(args[a].name, set.rows[i].name) == 0) args[a].value = v.*set.rows[i].field;
}

// The fields of a set as they were, to be put back when new values fail their checks.
template <class V>
class ScanPropertySnapshot {
public:
    ScanPropertySnapshot(V& v, const ScanPropertySet<V>& set) : v_(v), set_(set) {
        for (int i = 0; i < set_.count && i < kMaxRows; ++i) saved_[i] = v_.*set_.rows[i].field;
    }
    void Restore() {
        for (int i = 0; i < set_.count && i < kMaxRows; ++i) v_.*set_.rows[i].field = saved_[i];
    }

private:
    enum { kMaxRows = 24 };
    V& v_;
    const ScanPropertySet<V>& set_;
    int32_t saved_[kMaxRows] = {};
};

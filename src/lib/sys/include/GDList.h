// Typed views of the host list: a DList whose elements are all of one class. Built with
// the kind 0; destroying a list does not delete its elements.
#pragma once

#include <vector>

#include "ovkhost.h"

template <class T>
class GDList : public DList {
public:
    GDList() : DList(0) {}

    T* get() { return static_cast<T*>(DList::get()); }
    T* linkout() { return static_cast<T*>(DList::linkout()); }
    int linkin(T* p) { return DList::linkin(static_cast<void*>(p)); }
    int update(T* p) { return DList::update(static_cast<void*>(p)); }
};

// The elements in list order (moves the list's cursor).
template <class T>
std::vector<T*> ListElements(GDList<T>& list) {
    std::vector<T*> out;
    out.reserve(static_cast<size_t>(list.count > 0 ? list.count : 0));
    for (int rc = list.start(); rc == 0; rc = list.fwd())
        if (T* p = list.get()) out.push_back(p);
    return out;
}

// The element at position index, or null (moves the list's cursor).
template <class T>
T* ListElementAt(GDList<T>& list, int index) {
    int i = 0;
    for (int rc = list.start(); rc == 0; rc = list.fwd(), ++i)
        if (i == index) return list.get();
    return nullptr;
}

class PDEV;
using GDList_PDEV = GDList<PDEV>;

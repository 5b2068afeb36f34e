#include "ovkhost.h"

#include <new>

struct DList::Node {
    void* element;
    Node* prev;
    Node* next;
};

DList::DList(int kind) : kind_(kind) {}

DList::~DList() {
    // The elements belong to the caller; only the links are freed.
    for (Node* n = head_; n;) {
        Node* next = n->next;
        delete n;
        n = next;
    }
}

int DList::start() {
    cursor_ = head_;
    beforeFirst_ = false;
    return cursor_ ? 0 : NO_ELEMENT;
}

int DList::end() {
    cursor_ = nullptr;
    beforeFirst_ = false;
    return 0;
}

int DList::fwd() {
    if (cursor_) cursor_ = cursor_->next;
    else if (beforeFirst_) cursor_ = head_;
    beforeFirst_ = false;
    return cursor_ ? 0 : NO_ELEMENT;
}

int DList::bkwd() {
    if (cursor_) {
        cursor_ = cursor_->prev;
        beforeFirst_ = cursor_ == nullptr;
    } else if (!beforeFirst_) {
        cursor_ = tail_;
        beforeFirst_ = cursor_ == nullptr;
    }
    return cursor_ ? 0 : NO_ELEMENT;
}

void* DList::get() { return cursor_ ? cursor_->element : nullptr; }

int DList::linkin(void* p) {
    if (!p) return NULL_ELEMENT;
    Node* n = new (std::nothrow) Node{p, nullptr, nullptr};
    if (!n) return NO_MEMORY;
    Node* before = cursor_ ? cursor_ : (beforeFirst_ ? head_ : nullptr);
    n->next = before;
    n->prev = before ? before->prev : tail_;
    if (n->prev) n->prev->next = n;
    else head_ = n;
    if (before) before->prev = n;
    else tail_ = n;
    cursor_ = n;
    beforeFirst_ = false;
    ++count;
    return 0;
}

void* DList::linkout() {
    Node* n = cursor_;
    if (!n) return nullptr;
    if (n->prev) n->prev->next = n->next;
    else head_ = n->next;
    if (n->next) n->next->prev = n->prev;
    else tail_ = n->prev;
    cursor_ = n->next;
    beforeFirst_ = false;
    void* element = n->element;
    delete n;
    --count;
    return element;
}

int DList::update(void* p) {
    if (!cursor_) return NO_ELEMENT;
    if (!p) return NULL_ELEMENT;
    cursor_->element = p;
    return 0;
}

// The printer family's circular list with a cursor.
#include "PRNDList.h"

PRNDLNode::~PRNDLNode() = default;

int PRNDList::start() {
    if (count_ == 0) return error_ = kEmpty;
    cursor_ = tail_->next;
    position_ = 1;
    return error_ = 0;
}

int PRNDList::end() {
    if (count_ == 0) return error_ = kEmpty;
    cursor_ = tail_;
    position_ = count_;
    return error_ = 0;
}

int PRNDList::fwd(int n) {
    for (int i = 0; i < n; ++i) {
        if (position_ >= count_) return error_ = kOutOfRange;
        cursor_ = cursor_->next;
        ++position_;
    }
    return error_ = 0;
}

int PRNDList::bkwd(int n) {
    for (int i = 0; i < n; ++i) {
        if (position_ < 2) return error_ = kOutOfRange;
        cursor_ = cursor_->prev;
        --position_;
    }
    return error_ = 0;
}

PRNDLNode* PRNDList::get() {
    if (count_ == 0) {
        error_ = kEmpty;
        return nullptr;
    }
    error_ = 0;
    return cursor_;
}

int PRNDList::linkin(PRNDLNode* node) {
    if (!node) return 0;
    if (count_ == 0) {
        node->next = node->prev = node;
        tail_ = cursor_ = node;
        count_ = position_ = 1;
        return error_ = 0;
    }
    node->prev = cursor_;
    node->next = cursor_->next;
    cursor_->next->prev = node;
    cursor_->next = node;
    if (cursor_ == tail_) tail_ = node;
    cursor_ = node;
    ++position_;
    ++count_;
    return error_ = 0;
}

PRNDLNode* PRNDList::linkout() {
    if (count_ == 0) {
        error_ = kEmpty;
        return nullptr;
    }
    PRNDLNode* node = cursor_;
    if (count_ == 1) {
        tail_ = cursor_ = nullptr;
        count_ = position_ = 0;
    } else {
        node->prev->next = node->next;
        node->next->prev = node->prev;
        if (node == tail_) {
            tail_ = cursor_ = node->prev;
            --position_;
        } else {
            cursor_ = node->next;
        }
        --count_;
    }
    node->next = node->prev = nullptr;
    error_ = 0;
    return node;
}

PRNDLNode* PRNDList::update(PRNDLNode* node) {
    if (count_ == 0 || !node) {
        error_ = kEmpty;
        return nullptr;
    }
    PRNDLNode* old = cursor_;
    if (count_ == 1) {
        node->next = node->prev = node;
    } else {
        node->next = old->next;
        node->prev = old->prev;
        old->prev->next = node;
        old->next->prev = node;
    }
    if (old == tail_) tail_ = node;
    cursor_ = node;
    old->next = old->prev = nullptr;
    error_ = 0;
    return old;
}

int PRNDList::linkinHead(PRNDLNode* node) {
    if (!node) return 0;
    if (start() != 0) return linkin(node);
    // The new node takes the first place and the old first node follows it.
    return linkin(update(node));
}

int PRNDList::append(PRNDLNode* node) {
    if (!node) return 0;
    end();
    return linkin(node);
}

void PRNDList::cleanup() {
    while (count_ > 0) {
        end();
        delete linkout();
    }
    tail_ = cursor_ = nullptr;
    count_ = position_ = 0;
    error_ = 0;
}

// The printer family's list: a circular, doubly linked list of nodes with a cursor and a
// 1-based cursor position. The list owns its nodes and deletes them through their virtual
// destructor.
#pragma once

#include <cstdint>

class PRNDLNode {
public:
    PRNDLNode() = default;
    virtual ~PRNDLNode();
    PRNDLNode(const PRNDLNode&) = delete;
    PRNDLNode& operator=(const PRNDLNode&) = delete;

    PRNDLNode* next = nullptr;
    PRNDLNode* prev = nullptr;
};

class PRNDList {
public:
    enum : int32_t { kEmpty = 100, kOutOfRange = 101 };

    PRNDList() = default;
    ~PRNDList() { cleanup(); }
    PRNDList(const PRNDList&) = delete;
    PRNDList& operator=(const PRNDList&) = delete;

    // Cursor to the first node (position 1) or to the tail (position = count); 100 empty.
    int start();
    int end();
    // n steps forward (back); a step from the last (first) node stops with 101. n <= 0
    // does nothing.
    int fwd(int n = 1);
    int bkwd(int n = 1);
    // The node at the cursor; null (error 100) when empty.
    PRNDLNode* get();
    // Links node in after the cursor and makes it the cursor; into an empty list it becomes
    // a one-node ring. A null node is ignored. Always 0.
    int linkin(PRNDLNode* node);
    // Unlinks and returns the cursor node; the cursor moves to its successor, or, when it
    // was the tail, to its predecessor (the new tail). Null (error 100) when empty.
    PRNDLNode* linkout();
    // Puts node in the cursor node's place and returns the replaced node; null (error 100)
    // when empty.
    PRNDLNode* update(PRNDLNode* node);
    // Makes node the first of the list (the old first node second). Always 0.
    int linkinHead(PRNDLNode* node);
    // Appends node after the tail and makes it the cursor. Always 0.
    int append(PRNDLNode* node);
    // Deletes every node; every field 0.
    void cleanup();

    uint32_t count() const { return count_; }
    uint32_t position() const { return position_; }
    int32_t error() const { return error_; }
    PRNDLNode* tail() const { return tail_; }
    PRNDLNode* cursor() const { return cursor_; }
    bool empty() const { return count_ == 0; }

private:
    PRNDLNode* tail_ = nullptr;
    PRNDLNode* cursor_ = nullptr;
    uint32_t count_ = 0;
    uint32_t position_ = 0;
    int32_t error_ = 0;
};

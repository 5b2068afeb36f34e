// The keyboard's input event node: the search among "/dev/input/event%-d" 0 to 255 (the first
// found is kept for the life of the process), its bus kind, and the three lock-key lights.
#pragma once

#include <string>
#include <vector>

struct ValidKeyboards {
    std::vector<int> versions;
    std::vector<int> vendors;   // pairs with products, index by index
    std::vector<int> products;
    bool empty() const { return versions.empty() && (vendors.empty() || products.empty()); }
};

enum LedBits : unsigned { NumLockLed = 0x1, CapsLockLed = 0x2, ScrollLockLed = 0x4 };

namespace inputnode {

void setValidKeyboards(const ValidKeyboards& lists);
// The node number found from `start` on (or the one found before), -1 when none.
int find(void* env, int start);
std::string name(int node);
// 1 when the keyboard's node is on USB, 0 otherwise (fixed at the first query).
int busKind(void* env);
// Reads the lights (bits of LedBits); 0, or minus the error number. `who` names the caller
// in trace lines.
int readLeds(void* env, unsigned& bits);
// Sets the lights to `wanted` by pressing the lock keys whose light differs; 0 or -1.
int setLeds(void* env, unsigned wanted);
// Forgets the node and bus kind found (tests).
void forget();

} // namespace inputnode

// DList cursor rules, each case a script of operations with their expected results.
#include "ovkhost.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// Elements are the letters a..z (pointers into this table); '0' stands for a null pointer.
char letters[26];
void* elem(char c) { return c == '0' ? nullptr : &letters[c - 'a']; }
char name(void* p) { return p ? static_cast<char>('a' + (static_cast<char*>(p) - letters)) : '-'; }

// Script words: S start, E end, F fwd, B bkwd, G get, O linkout, I(x) linkin, U(x) update.
// "=v" expects the integer v (or the element letter, '-' for none), "!" a non-zero result,
// no suffix: not checked.
void run(DList& list, const std::string& script) {
    std::istringstream words(script);
    std::string w;
    while (words >> w) {
        SCOPED_TRACE("step " + w);
        char op = w[0];
        size_t pos = 1;
        char arg = 0;
        if (op == 'I' || op == 'U') {
            arg = w[2];
            pos = 4;
        }
        std::string expect = w.substr(pos);
        if (op == 'G' || op == 'O') {
            char got = name(op == 'G' ? list.get() : list.linkout());
            if (!expect.empty()) {
                EXPECT_EQ(std::string(1, got), expect.substr(1));
            }
            continue;
        }
        int rc = 0;
        switch (op) {
        case 'S': rc = list.start(); break;
        case 'E': rc = list.end(); break;
        case 'F': rc = list.fwd(); break;
        case 'B': rc = list.bkwd(); break;
        case 'I': rc = list.linkin(elem(arg)); break;
        case 'U': rc = list.update(elem(arg)); break;
        default: FAIL() << "bad script word";
        }
        if (expect == "!") {
            EXPECT_NE(rc, 0);
        } else if (!expect.empty()) {
            EXPECT_EQ(rc, std::stoi(expect.substr(1)));
        }
    }
}

std::string contents(DList& list) {
    std::string s;
    for (int rc = list.start(); rc == 0; rc = list.fwd()) s += name(list.get());
    return s;
}

struct Case {
    const char* what;
    const char* script;
    const char* contents;
};

const Case kCases[] = {
    {"empty list", "S=60 F! B! G=- O=- U(a)! E=0 G=-", ""},
    {"linkin after end appends", "E I(a)=0 G=a E I(b)=0 E I(c)=0", "abc"},
    {"linkin inserts before the cursor", "E I(a) I(b)=0 G=b", "ba"},
    {"walk forward", "E I(a) E I(b) E I(c) S=0 G=a F=0 G=b F=0 G=c F! G=- F!", "abc"},
    {"walk backward from the end", "E I(a) E I(b) E I(c) E B=0 G=c B=0 G=b B=0 G=a B! G=- B!",
     "abc"},
    {"forward again from before the first", "E I(a) E I(b) S B! F=0 G=a", "ab"},
    {"linkin before the first prepends", "E I(a) E I(b) S B! I(z)=0 G=z F=0 G=a", "zab"},
    {"linkin in the middle", "E I(a) E I(b) E I(c) S F I(z)=0 G=z F=0 G=b", "azbc"},
    {"linkout moves to the next", "E I(a) E I(b) E I(c) S F O=b G=c O=c G=- O=-", "a"},
    {"linkout behind the last gives null", "E I(a) E O=- G=-", "a"},
    {"queue: append at the end, take from the start",
     "E I(a) E I(b) S O=a E I(c) S O=b S O=c S=60 O=-", ""},
    {"update replaces at the cursor", "E I(a) E I(b) E I(c) S F U(z)=0 G=z E U(y)!", "azc"},
    {"null elements are refused", "E I(0)! E I(a) S U(0)! G=a", "a"},
};

TEST(DList, CursorRules) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        DList list(0);
        run(list, c.script);
        EXPECT_EQ(contents(list), c.contents);
        EXPECT_EQ(list.count, static_cast<int>(std::string(c.contents).size()));
    }
}

TEST(DList, DestructorLeavesElementsAlone) {
    int* owned = new int(7);
    {
        DList list(0);
        list.end();
        list.linkin(owned);
    }
    EXPECT_EQ(*owned, 7); // still ours: under ASan a freed element would be reported here
    delete owned;
}

} // namespace

// ConfTable: sections, key rules, quoting, typed lookups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfTable.h"
#include "TempRoot.h"

namespace {

class ConfTableTest : public ::testing::Test {
protected:
    ConfTable load(const std::string& text) {
        root_.write("/etc/ovksys.conf", text);
        return ConfTable(root_.at("/etc/ovksys.conf"));
    }
    TempRoot root_;
};

std::string value(ConfTable& t, const std::string& key, const std::string& section = "") {
    return t.getValue(key, std::string("<absent>"), section);
}

TEST_F(ConfTableTest, KeysBeforeAnyHeaderBelongToTheDefaultSectionNotToGLOBAL) {
    ConfTable t = load("Debug = On\n"
                       "[ global ]\n"
                       "trace = yes\n"
                       "data-path = /srv/pos\n");
    EXPECT_TRUE(t.getValue("debug", false));
    EXPECT_TRUE(t.getValue("debug", false, "   "));
    // A header naming global opens GLOBAL, which the default lookup does not see.
    EXPECT_FALSE(t.getValue("trace", false));
    EXPECT_EQ(value(t, "data-path"), "<absent>");
    EXPECT_TRUE(t.getValue("trace", false, "global"));
    EXPECT_TRUE(t.getValue("trace", false, "GLOBAL"));
    // GLOBAL still falls back to the default section for keys it lacks.
    EXPECT_TRUE(t.getValue("debug", false, "Global"));
}

TEST_F(ConfTableTest, NamedSectionFallsBackToDefaultSection) {
    ConfTable t = load("data-path = /usr/share/pos\n"
                       "speed = 9600\n"
                       "[Printer]\n"
                       "speed = 19200\n"
                       "model = 6397\n");
    EXPECT_EQ(value(t, "speed", "PRINTER"), "19200");
    EXPECT_EQ(value(t, "speed", " \tprinter  "), "19200");
    EXPECT_EQ(value(t, "data-path", "printer"), "/usr/share/pos"); // key missing in PRINTER
    EXPECT_EQ(value(t, "speed", "SCANNER"), "9600");                // section missing
    EXPECT_EQ(value(t, "speed"), "9600");
    EXPECT_EQ(value(t, "model"), "<absent>"); // the default section never sees PRINTER
    EXPECT_EQ(value(t, "model", "printer"), "6397");
}

TEST_F(ConfTableTest, KeysIgnoreCaseAndBlanksValuesKeepTheirCase) {
    ConfTable t = load("  Debug File\t= /Var/Log/X.log  \t\n"
                       "debug = 1\n");
    EXPECT_EQ(value(t, "DEBUG FILE"), "/Var/Log/X.log");
    EXPECT_EQ(value(t, "  debug file\t"), "/Var/Log/X.log");
    EXPECT_EQ(value(t, "debugfile"), "<absent>");
    EXPECT_FALSE(t.getValue("debug", true)); // "1" is not a true word
}

TEST_F(ConfTableTest, BooleanWords) {
    struct Case {
        const char* text;
        bool expected;
    } cases[] = {{"On", true},     {"TRUE", true},    {"yes", true},  {"YeS", true},
                 {"1", false},     {"off", false},    {"no", false},  {"enabled", false},
                 {"on  ", true}, {"'on'", true}};
    for (const Case& c : cases) {
        ConfTable t = load(std::string("flag=") + c.text + "\n");
        EXPECT_EQ(t.getValue("flag", !c.expected), c.expected) << c.text;
    }
    ConfTable t = load("other = 1\n");
    EXPECT_TRUE(t.getValue("flag", true));
    EXPECT_FALSE(t.getValue("flag", false));
}

TEST_F(ConfTableTest, QuotingRules) {
    struct Case {
        const char* line;
        const char* expected; // nullptr: the line adds nothing
    } cases[] = {
        {"path='/opt/pos'", "/opt/pos"},
        {"path=\"/opt/pos\"", "/opt/pos"},
        {"path = '/opt/pos'", "'/opt/pos'"},  // a quote after a blank is kept
        {"path='/opt/pos'   ", "/opt/pos"},   // trailing blanks before the closing quote
        {"path=\"/opt/pos'", "\"/opt/pos'"},  // quotes must match
        {"path='", "'"},                      // one quote is not a pair
        {"path=\"  a b \"", "a b "},          // leading blanks inside go, trailing stay
        {"path=''", nullptr},                 // empty once unquoted
        {"path=   \t ", nullptr},             // only blanks after "="
        {"path=", nullptr},
        {"path = a = b", "a = b"},            // the first "=" separates
    };
    for (const Case& c : cases) {
        ConfTable t = load(std::string(c.line) + "\n");
        if (c.expected) {
            EXPECT_EQ(value(t, "path"), c.expected) << c.line;
        } else {
            EXPECT_EQ(value(t, "path"), "<absent>") << c.line;
            EXPECT_TRUE(t.empty()) << c.line;
        }
    }
}

TEST_F(ConfTableTest, SkippedLinesAndHeaders) {
    ConfTable t = load("# comment = 1\n"
                       "  ! bang = 2\n"
                       "=orphan\n"
                       "  = orphan2\n"
                       "no equals sign here\n"
                       "\t \n"
                       "\n"
                       "[PRINTER]\n"
                       "a = 1\n"
                       "[ \t ]\n"       // empty name: skipped, PRINTER stays current
                       "b = 2\n"
                       "[scanner\n"     // no "]": not a header
                       "c = 3\n");
    EXPECT_EQ(value(t, "# comment"), "<absent>");
    EXPECT_EQ(value(t, "comment"), "<absent>");
    EXPECT_EQ(value(t, "! bang"), "<absent>");
    EXPECT_EQ(value(t, "b", "printer"), "2");
    EXPECT_EQ(value(t, "b"), "<absent>");
    EXPECT_EQ(value(t, "c", "printer"), "3");
    EXPECT_EQ(value(t, "c", "scanner"), "<absent>"); // no section SCANNER was opened
    EXPECT_FALSE(t.empty());
}

TEST_F(ConfTableTest, MultipleValuesInFileOrder) {
    ConfTable t = load("A = 1\n"
                       "B = x\n"
                       "a = 2\n"
                       "[S]\n"
                       "a = 3\n"
                       "[s]\n"   // the same section again
                       "A = 4\n");
    EXPECT_EQ(value(t, "a"), "1");
    std::vector<std::string> v;
    EXPECT_EQ(t.getValues("a", v), 0);
    EXPECT_EQ(v, (std::vector<std::string>{"1", "2"}));
    // A section that has the key gives only its own values.
    v.clear();
    EXPECT_EQ(t.getValues("A", v, "s"), 0);
    EXPECT_EQ(v, (std::vector<std::string>{"3", "4"}));

    std::vector<std::string*> p;
    EXPECT_EQ(t.find("a", p), 0);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(*p[0], "1");
    EXPECT_EQ(*p[1], "2");
    std::string* first = nullptr;
    EXPECT_EQ(t.find("A", first, "S"), 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(*first, "3");

    std::vector<const char*> c;
    EXPECT_EQ(t.getValues("a", c), 0);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_STREQ(c[1], "2");

    EXPECT_EQ(t.find("missing", first), -1);
    EXPECT_EQ(t.find("missing", p), -1);
    EXPECT_EQ(t.getValues("missing", v), -1);
}

TEST_F(ConfTableTest, NumbersUseBaseZero) {
    ConfTable t = load("hex = 0x1F\n"
                       "oct = 017\n"
                       "dec = 17\n"
                       "neg = -5\n"
                       "n = 1\n"
                       "n = 0x10\n"
                       "n = 010\n");
    EXPECT_EQ(t.getValue("hex", 0UL), 31UL);
    EXPECT_EQ(t.getValue("oct", 0UL), 15UL);
    EXPECT_EQ(t.getValue("dec", 0L), 17L);
    EXPECT_EQ(t.getValue("neg", 0L), -5L);
    EXPECT_EQ(t.getValue("absent", 42UL), 42UL);
    EXPECT_EQ(t.getValue("absent", -42L), -42L);

    std::vector<unsigned long> u;
    EXPECT_EQ(t.getValues("n", u), 0);
    EXPECT_EQ(u, (std::vector<unsigned long>{1, 16, 8}));
    std::vector<long> l;
    EXPECT_EQ(t.getValues("n", l), 0);
    EXPECT_EQ(l, (std::vector<long>{1, 16, 8}));
    EXPECT_EQ(t.getValues("absent", l), -1);
}

TEST_F(ConfTableTest, CharacterValuesAndDefaults) {
    ConfTable t = load("name = Terminal One\n");
    EXPECT_STREQ(t.getValue("name", "dflt"), "Terminal One");
    const char* dflt = "dflt";
    EXPECT_EQ(t.getValue("other", dflt), dflt);
    EXPECT_EQ(t.getValue("other", std::string("s")), "s");
}

TEST_F(ConfTableTest, DeviceIds) {
    ConfTable t = load("id = 1.17.0x35\n"
                       "id = 4\n"            // one number: skipped
                       "id = 2:0x22 - 0x81\n" // any separators
                       "id = 1.2\n"          // two numbers: skipped
                       "id = x1.2.3\n"       // no number at the start: skipped
                       "id = 0.0.0\n"
                       "id = 257.0x111.0x1FF\n" // low bytes
                       "only = 4\n");
    std::vector<DeviceID> ids;
    EXPECT_EQ(t.getValues("ID", ids), 0);
    EXPECT_EQ(ids, (std::vector<DeviceID>{DeviceID(1, 17, 0x35), DeviceID(2, 0x22, 0x81),
                                          DeviceID(0, 0, 0), DeviceID(1, 0x11, 0xFF)}));
    std::vector<DeviceID> none;
    EXPECT_EQ(t.getValues("only", none), 0); // the key has a value, though none is an id
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(t.getValues("absent", none), -1);
}

TEST_F(ConfTableTest, UnreadableFileGivesEmptyTable) {
    ConfTable t(root_.at("/etc/no-such.conf"));
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(value(t, "anything"), "<absent>");
    EXPECT_TRUE(t.getValue("debug", true));

    ConfTable headersOnly = load("[A]\n[B]\n# nothing else\n");
    EXPECT_TRUE(headersOnly.empty());
}

} // namespace

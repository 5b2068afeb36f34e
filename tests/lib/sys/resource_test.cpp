// Typed resource loader, value-table lookups and PosException.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <string>

#include "PosException.h"
#include "TempRoot.h"
#include "sylookup.h"
#include "syresource.h"

#include <X11/Xresource.h>

namespace {

#define ROW(n, v) {n, LookupHash(n), v}
const posLookup kSlots[] = {ROW("SLOT_0", 0), ROW("SLOT_1", 1), ROW("SLOT_2", 2),
                            ROW("SLOT_3", 3), ROW("SLOT_8", 8)};
const posLookup kPorts[] = {ROW("PORT_0", 0), ROW("PORT_1", 0x11), ROW("PORT_2", 0x22)};
const posLookup kTimeout[] = {ROW("TIMEOUT_INDEFINITE", -1)};
const posLookup kBytes[] = {ROW("LOW", 0x10), ROW("HIGH", 0xF0)};
#undef ROW

// ---------------------------------------------------------------------------------------
// Lookup

TEST(Lookup, HashIsTwiceHashPlusSignedCharUpToBlankOrTab) {
    static_assert(LookupHash("ON") == 236, "2 * 'O' + 'N'");
    EXPECT_EQ(LookupHash(""), 0);
    EXPECT_EQ(LookupHash("ON off"), 236);
    EXPECT_EQ(LookupHash("ON\toff"), 236);
    EXPECT_EQ(LookupHash("\xE9"), -23); // bytes above 127 count as negative
    // 40 characters overflow 32 bits: the hash wraps instead of being undefined.
    // 65 * (2^40 - 1) is -65 modulo 2^32.
    EXPECT_EQ(LookupHash("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"), -65);
}

TEST(Lookup, FindsByNameAndCutsTheTextAtTheFirstBlankOrTab) {
    char text[] = "PORT_1\tand more";
    EXPECT_EQ(Lookup(text, kPorts, 3), 0x11);
    EXPECT_STREQ(text, "PORT_1");

    char miss[] = "PORT_3 x";
    EXPECT_EQ(Lookup(miss, kPorts, 3), -1);
    EXPECT_STREQ(miss, "PORT_3"); // cut even when nothing matched

    char prefix[] = "PORT_";
    EXPECT_EQ(Lookup(prefix, kPorts, 3), -1);
    char longer[] = "PORT_10";
    EXPECT_EQ(Lookup(longer, kPorts, 3), -1);
    char empty[] = "";
    EXPECT_EQ(Lookup(empty, kPorts, 3), -1);
    char zero[] = "PORT_0";
    EXPECT_EQ(Lookup(zero, kPorts, 0), -1); // no rows
}

TEST(Lookup, EqualHashesAreToldApartByName) {
    // "ab" and "b`" share the hash 292.
    ASSERT_EQ(LookupHash("ab"), LookupHash("b`"));
    const posLookup table[] = {{"b`", LookupHash("b`"), 1}, {"ab", LookupHash("ab"), 2}};
    char ab[] = "ab";
    EXPECT_EQ(Lookup(ab, table, 2), 2);
    char bq[] = "b`";
    EXPECT_EQ(Lookup(bq, table, 2), 1);
}

TEST(Lookup, LookupValueLeavesTheTextAloneAndReportsRowsWorthMinusOne) {
    const char text[] = "TIMEOUT_INDEFINITE trailing";
    int32_t v = 0;
    EXPECT_TRUE(LookupValue(text, kTimeout, 1, v));
    EXPECT_EQ(v, -1);
    EXPECT_STREQ(text, "TIMEOUT_INDEFINITE trailing");
    EXPECT_FALSE(LookupValue("TIMEOUT", kTimeout, 1, v));
    EXPECT_FALSE(LookupValue(nullptr, kTimeout, 1, v));
}

// ---------------------------------------------------------------------------------------
// Resource loader

struct TextCase {
    const char* text; // nullptr: no resource
    int32_t expected;
};

class ResourceTest : public ::testing::Test {
protected:
    void TearDown() override { DestroyResources(db_); }
    // Reads resource lines into db_ from a file in the private root.
    void use(const std::string& lines) {
        root_.write("/etc/ovksys.res", lines);
        EXPECT_EQ(InitResources(db_, root_.at("/etc/ovksys.res").c_str()), 0);
        ASSERT_NE(db_, nullptr);
    }
    int load(const posResources* table, int rows) {
        return XrmLoadResources(db_, "app.OVKPROC", "app.PosProcess", table, rows);
    }
    // The whole text of the resource app.OVKPROC.<name>, or "<none>".
    std::string raw(const char* name) {
        char* text = nullptr;
        posResources row = {name, "X", POSRES_STRING, &text, 0, nullptr, 0};
        EXPECT_EQ(load(&row, 1), 0);
        std::string out = text ? text : "<none>";
        XrmDumpResources(&row, 1);
        return out;
    }
    // Loads one row of the given type over each text and checks the stored value.
    void checkRow(int type, intptr_t def, const posLookup* table, int rows,
                  std::initializer_list<TextCase> cases) {
        for (const TextCase& c : cases) {
            use(c.text ? std::string("app.OVKPROC.item: ") + c.text + "\n"
                       : std::string("app.OVKPROC.other: 1\n"));
            int32_t out = 12345;
            posResources row = {"item", "Item", type, &out, def, table, rows};
            EXPECT_EQ(load(&row, 1), 0);
            EXPECT_EQ(out, c.expected) << (c.text ? c.text : "(no resource)");
        }
    }
    TempRoot root_;
    XrmDatabase db_ = nullptr;
};

TEST_F(ResourceTest, IntegerRows) {
    checkRow(POSRES_INTEGER, 5, kSlots, 5,
             {{"SLOT_2", 2}, {"7", 7}, {"0x1F", 31}, {"0X1f", 31}, {"SLOT_2 and more", 2},
              {nullptr, 5}, {"SLOT_9", 0}, {"0xZZ", 5}, {"0x", 0}, {"-3", -3},
              {"0xFFFFFFFF", -1}});
    checkRow(POSRES_INTEGER, 9, nullptr, 0,
             {{"12", 12}, {"SLOT_2", 0}, {nullptr, 9}, {"0x10", 16}});
    // A table row worth -1 is selectable by name.
    checkRow(POSRES_INTEGER, 0, kTimeout, 1,
             {{"TIMEOUT_INDEFINITE", -1}, {"250", 250}, {nullptr, 0}});
    // A default of -1 (the all-ones slot mask) keeps -1 whatever the file says.
    checkRow(POSRES_INTEGER, -1, nullptr, 0, {{"5", -1}, {"0x0F", -1}, {nullptr, -1}});
}

TEST_F(ResourceTest, BooleanRows) {
    checkRow(POSRES_BOOLEAN, 0, nullptr, 0,
             {{"Yes", 1}, {"maybe", 0}, {"ON", 1}, {"true", 1}, {"1", 1}, {"TRUE", 1},
              {nullptr, 0}, {"yes please", 0}});
    checkRow(POSRES_BOOLEAN, 1, nullptr, 0,
             {{"No", 0}, {"OFF", 0}, {"False", 0}, {"0", 0}, {"maybe", 1}, {nullptr, 1}});
}

TEST_F(ResourceTest, HexByteRows) {
    checkRow(POSRES_HEXBYTE, 7, kBytes, 2,
             {{"3f", 0x3F}, {"A0", 0xA0}, {"F", 7}, {"123", 7}, {"g1", 7}, {"HIGH", 0xF0},
              {nullptr, 7},
              {"3f junk", 0x3F}}); // with a table the text is cut at the blank first
    checkRow(POSRES_HEXBYTE, 7, nullptr, 0, {{"3f", 0x3F}, {"HIGH", 7}, {"3f junk", 7}});
}

TEST_F(ResourceTest, StringRowsAreFreshCopiesAndDumpFreesThem) {
    use("app.OVKPROC.pollList: S2+40,42\n"
        "app.OVKPROC.empty:\n");
    const char* dflt = "=*";
    char* poll = nullptr;
    char* vpd = nullptr;
    char* empty = nullptr;
    char* none = reinterpret_cast<char*>(1);
    posResources table[] = {
        {"pollList", "PollList", POSRES_STRING, &poll, reinterpret_cast<intptr_t>(dflt), nullptr, 0},
        {"vitalProductData", "VitalProductData", POSRES_STRING, &vpd,
         reinterpret_cast<intptr_t>(dflt), nullptr, 0},
        {"empty", "Empty", POSRES_STRING, &empty, reinterpret_cast<intptr_t>(dflt), nullptr, 0},
        {"absent", "Absent", POSRES_STRING, &none, 0, nullptr, 0}, // null default
    };
    ASSERT_EQ(load(table, 4), 0);
    ASSERT_NE(poll, nullptr);
    EXPECT_STREQ(poll, "S2+40,42");
    ASSERT_NE(vpd, nullptr);
    EXPECT_STREQ(vpd, "=*");
    EXPECT_NE(vpd, dflt); // a copy, not the default itself
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(none, nullptr);

    XrmDumpResources(table, 4);
    EXPECT_EQ(poll, nullptr);
    EXPECT_EQ(vpd, nullptr);
    EXPECT_EQ(empty, nullptr);
}

TEST_F(ResourceTest, ResourcesMatchByClassAndWildcard) {
    use("*SlotNumber: SLOT_3\n"
        "app.PosProcess.PortNumber: PORT_2\n"
        "app.OVKPROC.portNumber: PORT_1\n" // the name beats the class
        "*readTimeout: 77\n");
    int32_t slot = 0, port = 0, timeout = 0;
    posResources table[] = {
        {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5},
        {"portNumber", "PortNumber", POSRES_INTEGER, &port, 0x11, kPorts, 3},
        {"readTimeout", "ReadTimeout", POSRES_INTEGER, &timeout, 0, kTimeout, 1},
    };
    ASSERT_EQ(load(table, 3), 0);
    EXPECT_EQ(slot, 3);
    EXPECT_EQ(port, 0x11);
    EXPECT_EQ(timeout, 77);
}

TEST_F(ResourceTest, UnknownTypeFailsAndFreesStringsOfEarlierRows) {
    use("app.OVKPROC.first: hello\n");
    char* first = nullptr;
    int32_t second = 0, fourth = 0;
    posResources table[] = {
        {"first", "First", POSRES_STRING, &first, 0, nullptr, 0},
        {"second", "Second", POSRES_INTEGER, &second, 4, nullptr, 0},
        {"third", "Third", 7, &second, 0, nullptr, 0},
        {"fourth", "Fourth", POSRES_INTEGER, &fourth, 9, nullptr, 0},
    };
    EXPECT_EQ(load(table, 4), 321);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, 4);
    EXPECT_EQ(fourth, 0); // rows after the failing one are not loaded
}

TEST_F(ResourceTest, RowsWithoutAddressAreSkipped) {
    use("app.OVKPROC.a: 3\n");
    int32_t b = 0;
    posResources table[] = {
        {"a", "A", 7, nullptr, 0, nullptr, 0}, // even an unknown type
        {"b", "B", POSRES_INTEGER, &b, 6, nullptr, 0},
    };
    EXPECT_EQ(load(table, 2), 0);
    EXPECT_EQ(b, 6);
}

TEST_F(ResourceTest, MissingFileOrDatabaseGivesDefaults) {
    EXPECT_EQ(InitResources(db_, root_.at("/etc/missing.res").c_str()), 0);
    ASSERT_NE(db_, nullptr); // an empty database
    int32_t slot = 0, flag = 0;
    posResources table[] = {
        {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5},
        {"flag", "Flag", POSRES_BOOLEAN, &flag, 1, nullptr, 0},
    };
    EXPECT_EQ(load(table, 2), 0);
    EXPECT_EQ(slot, 5);
    EXPECT_EQ(flag, 1);

    slot = flag = 0;
    EXPECT_EQ(XrmLoadResources(nullptr, "app", "App", table, 2), 0);
    EXPECT_EQ(slot, 5);
    EXPECT_EQ(flag, 1);
}

TEST_F(ResourceTest, InitResourcesReplacesTheDatabase) {
    use("app.OVKPROC.slotNumber: 1\n");
    use("app.OVKPROC.portNumber: PORT_2\n");
    EXPECT_EQ(raw("slotNumber"), "<none>");
    EXPECT_EQ(raw("portNumber"), "PORT_2");
    EXPECT_EQ(InitResources(db_, ""), 0); // no file: empty again
    EXPECT_EQ(raw("portNumber"), "<none>");
}

// A value-table lookup must not cut the text inside the database: every later reader of
// the same resource still sees all of it.
TEST_F(ResourceTest, LookupsLeaveTheDatabaseTextIntact) {
    use("app.OVKPROC.slotNumber: SLOT_2 spare words\n"
        "app.OVKPROC.level: HIGH\tnote\n");
    int32_t slot = 0, level = 0;
    posResources ints[] = {
        {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5},
        {"level", "Level", POSRES_HEXBYTE, &level, 0, kBytes, 2},
    };
    for (int round = 0; round < 2; ++round) {
        slot = level = 0;
        ASSERT_EQ(load(ints, 2), 0);
        EXPECT_EQ(slot, 2) << round;
        EXPECT_EQ(level, 0xF0) << round;
    }
    EXPECT_EQ(raw("slotNumber"), "SLOT_2 spare words");
    EXPECT_EQ(raw("level"), "HIGH\tnote");
}

// Names a database does not hold reach the resource manager as one placeholder: the
// answers stay those of the names themselves (a component nobody names matches only through
// a wildcard), and no lookup adds a quark, however many new names clients send.
TEST_F(ResourceTest, UnknownNamesMatchAsBeforeAndAddNoQuarks) {
    use("*SlotNumber: SLOT_3\n"
        "app.?.PosProcess.portNumber: PORT_2\n"
        "app.drawer.PosProcess.portNumber: PORT_1\n"
        "app.ovkUnnamed.PosProcess.readTimeout: 5\n" // a database may even hold the placeholder's text
        "*PosProcess.readTimeout: 9\n");
    struct Case {
        std::string device;
        int32_t slot, port, timeout;
    };
    const Case cases[] = {
        {"drawer", 3, 0x11, 9},       // known component: its own entry
        {"someNewName", 3, 0x22, 9},  // unknown: the "?" and "*" entries only
        {"ovkUnnamed", 3, 0x22, 5},   // the text the database holds is itself
        {"a.b", 3, 0, 9},             // deeper: "?" takes one level only
        {"x..", 3, 0x22, 9},          // empty components are dropped, as libX11 does
    };
    for (const Case& c : cases) {
        int32_t slot = 0, port = 0, timeout = 0;
        posResources table[] = {
            {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5},
            {"portNumber", "PortNumber", POSRES_INTEGER, &port, 0, kPorts, 3},
            {"readTimeout", "ReadTimeout", POSRES_INTEGER, &timeout, 0, nullptr, 0},
        };
        const std::string prefix = "app." + c.device + ".PosProcess";
        ASSERT_EQ(XrmLoadResources(db_, prefix.c_str(), prefix.c_str(), table, 3), 0);
        EXPECT_EQ(slot, c.slot) << c.device;
        EXPECT_EQ(port, c.port) << c.device;
        EXPECT_EQ(timeout, c.timeout) << c.device;
    }

    // A new string gets the next quark number: between two new strings, the lookups of a
    // thousand new device and class names have made no quark.
    const XrmQuark before = XrmStringToQuark("quarkProbeBefore");
    for (int i = 0; i < 1000; ++i) {
        int32_t slot = 0;
        posResources row = {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5};
        const std::string n = "app.device" + std::to_string(i), c = "app.Class" + std::to_string(i);
        ASSERT_EQ(XrmLoadResources(db_, n.c_str(), c.c_str(), &row, 1), 0);
        EXPECT_EQ(slot, 3);
    }
    EXPECT_EQ(XrmStringToQuark("quarkProbeAfter"), before + 1);
}

// libX11 takes names of at most 100 components; a deeper one is not looked up at all.
TEST_F(ResourceTest, NamesDeeperThanTheResourceManagerTakesAreNotFound) {
    use("*slotNumber: SLOT_2\n");
    std::string deep = "app";
    for (int i = 0; i < 150; ++i) deep += ".level";
    int32_t slot = 0;
    posResources row = {"slotNumber", "SlotNumber", POSRES_INTEGER, &slot, 5, kSlots, 5};
    ASSERT_EQ(XrmLoadResources(db_, deep.c_str(), deep.c_str(), &row, 1), 0);
    EXPECT_EQ(slot, 5);
    ASSERT_EQ(XrmLoadResources(db_, "app.level", "app.Level", &row, 1), 0);
    EXPECT_EQ(slot, 2);
}

TEST(ResourceNames, MakeNameJoinsWithADot) {
    char* n = makeName("app.OVKSYS", "slotMask");
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(n, "app.OVKSYS.slotMask");
    std::free(n);
}

// ---------------------------------------------------------------------------------------
// PosException

TEST(PosException, MessageCarriesCodeAndFormattedText) {
    PosException e(305, "COMD::COMD(): can't allocate options table");
    EXPECT_EQ(e.getErrorCode(), 305);
    EXPECT_STREQ(e.getMessage(), "*** Error (305): COMD::COMD(): can't allocate options table");
    EXPECT_STREQ(e.what(), e.getMessage());

    PosException bare(301, nullptr);
    EXPECT_EQ(bare.getErrorCode(), 301);
    EXPECT_STREQ(bare.what(), "*** Error (301)");

    PosException args(326, "slot %d: %s", 3, "missing");
    EXPECT_STREQ(args.what(), "*** Error (326): slot 3: missing");
}

TEST(PosException, LongTextIsCutToTheMessageSize) {
    std::string longText(600, 'x');
    PosException e(1, "%s", longText.c_str());
    EXPECT_EQ(std::strlen(e.what()), 255u);
    EXPECT_EQ(std::string(e.what()).substr(0, 15), "*** Error (1): ");
}

TEST(PosException, CaughtAsStdException) {
    try {
        throw PosException(321, "COMD::CommonPostinit() failed");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "*** Error (321): COMD::CommonPostinit() failed");
        const PosException* p = dynamic_cast<const PosException*>(&e);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->getErrorCode(), 321);
    }
}

} // namespace

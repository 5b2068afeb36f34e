// The OPOS name tables the build writes agree with the data files they come from: every
// property index once, every table a property names present, every row as the data has it;
// and the data reader refuses data that would lose a name.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "OposData.h"
#include "OposTables.h"
#include "TempRoot.h"

namespace {

const OposData& Data() {
    static const OposData data = LoadOposData(OVK_OPOS_DATA_DIR);
    return data;
}

const TableEntry* Built(const std::string& name) {
    for (const OposNamedTable* t = OposValueTables; t->Name; ++t)
        if (name == t->Name) return t->Table;
    return nullptr;
}

TEST(OposData, EveryPropertyIndexOnce) {
    std::map<int32_t, std::string> seen;
    for (const OposProperty& p : Data().properties) {
        const auto [at, fresh] = seen.emplace(p.index, p.category + " " + p.name);
        EXPECT_TRUE(fresh) << p.index << " is both " << at->second << " and " << p.category << " " << p.name;
    }
    std::set<int32_t> built;
    for (const PropTableEntry* row = OposProp; row->Name; ++row)
        EXPECT_TRUE(built.insert(row->Value).second) << "OposProp holds " << row->Value << " twice";
    for (const TableEntry* row = OposPropString; row->Name; ++row)
        EXPECT_TRUE(built.insert(row->Value).second) << row->Value << " is a string and a number property";
}

TEST(OposData, EveryTableAPropertyNamesExists) {
    for (const OposProperty& p : Data().properties) {
        if (p.table.empty()) continue;
        EXPECT_NE(Data().table(p.table), nullptr) << p.category << " " << p.name << ": " << p.table;
        EXPECT_NE(Built(p.table), nullptr) << p.category << " " << p.name << ": " << p.table;
    }
}

TEST(OposData, PropertyTablesAsTheDataHasThem) {
    const PropTableEntry* row = OposProp;
    const TableEntry* stringRow = OposPropString;
    for (const OposProperty& p : Data().properties) {
        const std::string what = p.category + " " + p.name;
        if (p.kind == "string") {
            ASSERT_NE(stringRow->Name, nullptr) << what;
            EXPECT_EQ(stringRow->Value, p.index) << what;
            EXPECT_STREQ(stringRow->Name, p.name.c_str());
            ++stringRow;
            continue;
        }
        ASSERT_NE(row->Name, nullptr) << what;
        EXPECT_EQ(row->Value, p.index) << what;
        EXPECT_STREQ(row->Name, p.name.c_str());
        if (p.kind == "bool")
            EXPECT_EQ(row->Values, TrueFalse) << what;
        else if (p.table.empty())
            EXPECT_EQ(row->Values, nullptr) << what << " prints as a number";
        else
            EXPECT_EQ(row->Values, Built(p.table)) << what << " through " << p.table;
        ++row;
    }
    EXPECT_EQ(row->Name, nullptr) << "OposProp holds more rows than the data";
    EXPECT_EQ(stringRow->Name, nullptr) << "OposPropString holds more rows than the data";
}

TEST(OposData, ValueTablesAsTheDataHasThem) {
    for (const OposValueTable& t : Data().tables) {
        const TableEntry* built = Built(t.name);
        ASSERT_NE(built, nullptr) << t.name;
        size_t i = 0;
        for (; built[i].Name; ++i) {
            ASSERT_LT(i, t.rows.size()) << t.name << " holds more rows than the data";
            EXPECT_EQ(built[i].Value, t.rows[i].value) << t.name << " row " << i;
            EXPECT_STREQ(built[i].Name, t.rows[i].name.c_str()) << t.name << " row " << i;
        }
        // The result codes are the name-table library's, which holds the codes up to
        // OPOS_E_EXTENDED; every other table holds all of its data.
        if (t.name != "Rc") {
            EXPECT_EQ(i, t.rows.size()) << t.name;
        }
    }
}

// The system's own codes extend the standard tables; each category's status-update events
// include the common ones.
TEST(OposData, SystemCodesAndCommonEventsJoinTheirTables) {
    EXPECT_STREQ(GetTableEntry(OposPrnRcExt, 0), "NONE");
    EXPECT_STREQ(GetTableEntry(OposPrnRcExt, 216), "OPOS_EPTR_SLP_HEAD_CLEANING");
    EXPECT_STREQ(GetTableEntry(OposMicrRcExt, 501), "QORVEL_EPTR_IMAGE_SCAN_FAILED");
    EXPECT_STREQ(GetTableEntry(OposDisplayRcExt, 202), "OPOS_EDISP_BADFORMAT");
    EXPECT_STREQ(GetTableEntry(OposPrnStatusUpdateEvent, 24), "PTR_SUE_REC_EMPTY");
    EXPECT_STREQ(GetTableEntry(OposPrnStatusUpdateEvent, 2001), "OPOS_SUE_POWER_ONLINE");
    EXPECT_STREQ(GetTableEntry(OposScalStatusUpdateEvent, 2004), "OPOS_SUE_POWER_OFF_OFFLINE");
    FreeTableStrings();
}

// A copy of the data folder with one file replaced.
class BrokenData : public ::testing::Test {
protected:
    std::string With(const std::string& file, const std::string& contents) {
        for (const char* name : {"properties.tsv", "values.tsv", "tables.tsv", "system-values.tsv", "property-tables.tsv"}) {
            std::ifstream in(std::string(OVK_OPOS_DATA_DIR) + "/" + name);
            std::stringstream text;
            text << in.rdbuf();
            root_.write("/data/" + std::string(name), name == file ? contents : text.str());
        }
        return root_.at("/data");
    }
    std::string Error(const std::string& folder) {
        try {
            LoadOposData(folder);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    }

private:
    TempRoot root_;
};

TEST_F(BrokenData, IsRefusedWithTheFileAndLine) {
    const struct {
        const char* file;
        const char* contents;
        const char* error;
    } cases[] = {
        {"property-tables.tsv", "category\tproperty\ttable\nPtr\tErrorStation\tPrnStations\n",
         "property-tables.tsv:2: table PrnStations does not exist"},
        {"property-tables.tsv", "category\tproperty\ttable\nPtr\tErrorStations\tPrnStation\n",
         "property-tables.tsv:2: property Ptr ErrorStations does not exist"},
        {"system-values.tsv", "table\tname\tvalue\nPrnRcExt,MicrRcExtra\tNONE\t0\n",
         "system-values.tsv:2: table MicrRcExtra does not exist"},
        {"values.tsv", "table\tname\tvalue\nState\tOPOS_S_CLOSED\t1x\n", "values.tsv:2: \"1x\" is not a 32-bit number"},
        {"values.tsv", "table\tname\tvalue\nStates\tOPOS_S_CLOSED\t1\n", "values.tsv:2: table States is not in tables.tsv"},
        {"properties.tsv", "category\tname\tindex\tkind\nCommon\tClaimed\t1\tboolean\n",
         "properties.tsv:2: kind \"boolean\" is not bool, number or string"},
    };
    for (const auto& c : cases) EXPECT_EQ(Error(With(c.file, c.contents)), c.error) << c.file;
}

} // namespace

// The main window's unit table as data.

#include "core/text.h"
#include "ui/unit_table.h"

#include <gtest/gtest.h>

#include <set>

namespace talery {
namespace {

TEST(UnitTable, EveryUnitOnceWithAKnownParent) {
    std::set<std::string_view> names;
    for (const UnitDesign& s : unitTable()) {
        EXPECT_TRUE(names.insert(s.name).second) << s.name;
        EXPECT_EQ(unitByName(s.name), s.unit) << s.name;
        if (s.parent != Unit::None) {
            const UnitDesign& parent = designOf(s.parent);
            EXPECT_LT(index(s.parent), index(s.unit)) << s.name << ": parents come first";
            const bool pageOfTabs = parent.kind == UnitKind::TabControl;
            EXPECT_EQ(s.page >= 0, pageOfTabs) << s.name;
            if (pageOfTabs) {
                EXPECT_LT(s.page, static_cast<int>(parent.items.size())) << s.name;
            }
        }
        // Every design text and list item is a GBK text of the program.
        EXPECT_NO_THROW(gbk(s.text)) << s.name;
        for (auto item : s.items) EXPECT_NO_THROW(gbk(item)) << s.name;
    }
    EXPECT_EQ(names.size(), kUnitCount - 1);
    EXPECT_EQ(unitByName("no such unit"), Unit::None);
}

TEST(UnitTable, WelcomeTextIs499GbkBytesEndingInCrLf) {
    const Text welcome = gbk(welcomeText());
    EXPECT_EQ(welcome.size(), 499u);
    EXPECT_EQ(welcome.substr(0, 4), "\r\n\r\n");
    EXPECT_EQ(welcome.substr(welcome.size() - 2), "\r\n");
    // 16 em dashes (A1 AA each) make the third line.
    std::string dashes;
    for (int i = 0; i < 16; ++i) dashes += "\xA1\xAA";
    EXPECT_EQ(welcome.substr(4, 34), dashes + "\r\n");
    EXPECT_NE(welcome.find("\r\n" + std::string(30, ' ') + "\r\n"), std::string::npos);
}

TEST(UnitTable, DialogsAndTimersAsDesigned) {
    EXPECT_EQ(designOf(Unit::通用对话框2).extra, "txt");
    EXPECT_EQ(designOf(Unit::通用对话框3).extra, "mp3");
    EXPECT_EQ(designOf(Unit::通用对话框1).items.size(), 4u);
    EXPECT_EQ(designOf(Unit::时钟1).value, 7500);
    EXPECT_EQ(designOf(Unit::时钟2).value, 1000);
}

}  // namespace
}  // namespace talery

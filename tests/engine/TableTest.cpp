// CItemArray and CNameValueTable: null entries, first-match lookups without regard to case,
// the name index in step with the entries, and the limits.
#include <gtest/gtest.h>

#include <string>

#include "engine/ItemArray.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

TEST(ItemArray, KeepsEmptyTextsAsNullEntriesAndTextsInPlace) {
    CItemArray lines(1, 1);
    lines.Add("first");
    lines.Add("");
    const char* first = lines.GetAt(0);
    for (int i = 0; i < 1000; ++i) lines.Add("line " + std::to_string(i));
    lines.InsertAt(0, "zeroth");
    EXPECT_EQ(lines.IndexOf(first), 1);
    EXPECT_STREQ(first, "first");
    EXPECT_EQ(lines.GetAt(2), nullptr);
    EXPECT_EQ(lines.GetAt(-1), nullptr);
    EXPECT_EQ(lines.GetAt(lines.GetCount()), nullptr);
    lines.RemoveAt(1);
    EXPECT_EQ(lines.GetAt(1), nullptr);
    lines.SetAt(1005, "far");  // fills the gap with null entries
    EXPECT_EQ(lines.GetAt(1004), nullptr);
    EXPECT_STREQ(lines.GetAt(1005), "far");
}

TEST(NameValueTable, MatchesWholeNamesWithoutRegardToCase) {
    CNameValueTable t(4, 4);
    t.SetValue("abc", "1");
    t.SetValue("Ab", "x=y");
    EXPECT_EQ(t.FindName("AB"), 1);
    EXPECT_EQ(t.FindName("A"), -1);
    EXPECT_STREQ(t.GetAt(1), "AB=x=y");
    EXPECT_STREQ(t.ValueAt(1), "x=y");
    EXPECT_EQ(ErrorOf([&] { t.GetValue("abcd"); }), 1);
    t.SetValue("ABC", "replaced in place");
    EXPECT_EQ(t.GetCount(), 2);
    t.Add("NOEQUALS");
    EXPECT_EQ(t.FindName("NOEQUALS"), -1);  // an entry without "=" never matches
    t.SetValue("\xe4x", "v");               // only ASCII letters are folded
    EXPECT_EQ(t.FindName("\xe4X"), 3);
    EXPECT_EQ(t.FindName("\xc4X"), -1);
    t.SetValue("a", t.GetValue("abc") + 1);  // from its own entries
    EXPECT_STREQ(t.GetValue("a"), "eplaced in place");
}

TEST(NameValueTable, FirstMatchSurvivesIndexingInsertsAndRemovals) {
    // Beyond a handful of entries lookups go through the index; it must give the same
    // answers as a scan in table order after every kind of change.
    CNameValueTable t(4, 4);
    for (int i = 0; i < 100; ++i) t.SetValue("v" + std::to_string(i), std::to_string(i));
    t.Add("V57=shadow");  // a later duplicate does not win
    EXPECT_STREQ(t.GetValue("v57"), "57");
    t.InsertAt(0, "V57=front");  // an earlier one does
    EXPECT_STREQ(t.GetValue("v57"), "front");
    t.RemoveAt(0);
    EXPECT_STREQ(t.GetValue("v57"), "57");
    t.SetAt(3, "NEW=3");
    EXPECT_EQ(t.FindName("v3"), -1);
    EXPECT_EQ(t.FindName("new"), 3);
    t.RemoveAll();
    EXPECT_EQ(t.FindName("v1"), -1);
    t.SetValue("v1", "back");
    EXPECT_EQ(t.FindName("v1"), 0);
}

TEST(NameValueTable, EnforcesNameAndEntryLimits) {
    CNameValueTable t(4, 4);
    const std::string name255(255, 'n');
    t.SetValue(name255, "v");
    EXPECT_EQ(ErrorOf([&] { t.SetValue(name255 + "n", "v"); }), 9);
    EXPECT_EQ(ErrorOf([&] { t.FindName(name255 + "n"); }), 9);
    t.SetValue("k", std::string(4093, 'v'));  // NAME=value in 4095 characters
    EXPECT_EQ(ErrorOf([&] { t.SetValue("k", std::string(4094, 'v')); }), 9);
}

// CItemArray and CNameValueTable: null entries, first-match lookups, case rules, and the
// name index staying in step with the entries.
#include <gtest/gtest.h>

#include <string>

#include "engine/ItemArray.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

TEST(ItemArray, KeepsEmptyTextsAsNullEntriesInOrder) {
    CItemArray lines(2, 1);
    lines.Add("first");
    lines.Add("");
    lines.Add("third");
    lines.InsertAt(0, "zeroth");
    ASSERT_EQ(lines.GetCount(), 4);
    EXPECT_STREQ(lines.GetAt(0), "zeroth");
    EXPECT_STREQ(lines.GetAt(1), "first");
    EXPECT_EQ(lines.GetAt(2), nullptr);
    EXPECT_STREQ(lines.GetAt(3), "third");
    EXPECT_EQ(lines.GetAt(4), nullptr);
    EXPECT_EQ(lines.GetAt(-1), nullptr);

    lines.RemoveAt(1);
    EXPECT_STREQ(lines.GetAt(1), nullptr);
    EXPECT_STREQ(lines.GetAt(2), "third");
    lines.SetAt(4, "far");  // fills the gap with null entries
    EXPECT_EQ(lines.GetCount(), 5);
    EXPECT_EQ(lines.GetAt(3), nullptr);
    EXPECT_STREQ(lines.GetAt(4), "far");
}

TEST(ItemArray, EntryTextsStayPutWhileTheListGrows) {
    CItemArray lines(1, 1);
    lines.Add("short");
    const char* first = lines.GetAt(0);
    for (int i = 0; i < 1000; ++i) lines.Add("line " + std::to_string(i));
    lines.InsertAt(0, "front");
    EXPECT_EQ(lines.IndexOf(first), 1);
    EXPECT_STREQ(first, "short");

    lines.RemoveAll();
    EXPECT_EQ(lines.GetCount(), 0);
    lines.Add("again");  // reused storage holds the new text only
    EXPECT_STREQ(lines.GetAt(0), "again");
    EXPECT_EQ(lines.GetAt(1), nullptr);
}

TEST(NameValueTable, MatchesWholeNamesWithoutRegardToCase) {
    CNameValueTable t(4, 4);
    t.SetValue("abc", "1");
    t.SetValue("Ab", "2");
    EXPECT_EQ(t.FindName("AB"), 1);
    EXPECT_EQ(t.FindName("aBc"), 0);
    EXPECT_EQ(t.FindName("A"), -1);
    EXPECT_STREQ(t.GetAt(0), "ABC=1");
    EXPECT_STREQ(t.GetValue("ab"), "2");
    EXPECT_EQ(ErrorOf([&] { t.GetValue("abcd"); }), 1);

    t.SetValue("ABC", "replaced in place");
    EXPECT_EQ(t.GetCount(), 2);
    EXPECT_STREQ(t.GetAt(0), "ABC=replaced in place");

    // Only ASCII letters are folded.
    t.SetValue("\xe4x", "v");
    EXPECT_EQ(t.FindName("\xe4X"), 2);
    EXPECT_EQ(t.FindName("\xc4X"), -1);
}

TEST(NameValueTable, SplitsEntriesAtTheFirstEquals) {
    CNameValueTable t(4, 4);
    t.SetValue("k", "a=b");
    t.Add("NOEQUALS");
    std::string name, value;
    t.GetAt(0, &name, &value);
    EXPECT_EQ(name, "K");
    EXPECT_EQ(value, "a=b");
    EXPECT_STREQ(t.ValueAt(0), "a=b");
    t.GetAt(1, &name, &value);
    EXPECT_EQ(name, "NOEQUALS");
    EXPECT_EQ(value, "");
    EXPECT_STREQ(t.ValueAt(1), "");
    EXPECT_EQ(t.FindName("NOEQUALS"), -1);  // an entry without "=" never matches

    // A name holding "=" is stored upper-cased whole and matches across its own "=".
    t.SetValue("x=y", "z");
    EXPECT_STREQ(t.GetValue("x"), "Y=z");
    EXPECT_STREQ(t.GetValue("X=Y"), "z");
}

TEST(NameValueTable, FirstMatchSurvivesIndexingInsertsAndRemovals) {
    // Beyond a handful of entries lookups go through the index; it must give the same
    // answers as a scan in table order after every kind of change.
    CNameValueTable t(4, 4);
    for (int i = 0; i < 100; ++i) t.SetValue("v" + std::to_string(i), std::to_string(i));
    EXPECT_EQ(t.FindName("V57"), 57);
    t.Add("V57=shadow");  // a later duplicate does not win
    EXPECT_STREQ(t.GetValue("v57"), "57");
    t.Add("ADDED=1");  // a new name added as a plain entry is found
    EXPECT_EQ(t.FindName("added"), t.GetCount() - 1);
    t.InsertAt(0, "V57=front");  // an earlier one does
    EXPECT_STREQ(t.GetValue("v57"), "front");
    EXPECT_EQ(t.FindName("v0"), 1);
    t.RemoveAt(0);
    EXPECT_STREQ(t.GetValue("v57"), "57");
    t.SetAt(3, "NEW=3");
    EXPECT_EQ(t.FindName("v3"), -1);
    EXPECT_EQ(t.FindName("new"), 3);
    t.SetValue("appended", "x");
    EXPECT_EQ(t.FindName("APPENDED"), t.GetCount() - 1);
    t.RemoveAll();
    EXPECT_EQ(t.FindName("v1"), -1);
    t.SetValue("v1", "back");
    EXPECT_EQ(t.FindName("v1"), 0);
}

TEST(NameValueTable, EnforcesNameAndEntryLimits) {
    CNameValueTable t(4, 4);
    const std::string name255(255, 'n');
    t.SetValue(name255, "v");
    EXPECT_EQ(t.FindName(name255), 0);
    EXPECT_EQ(ErrorOf([&] { t.SetValue(name255 + "n", "v"); }), 9);
    EXPECT_EQ(ErrorOf([&] { t.FindName(name255 + "n"); }), 9);

    // NAME=value up to 4095 characters in all.
    t.SetValue("k", std::string(4093, 'v'));
    EXPECT_EQ(ErrorOf([&] { t.SetValue("k", std::string(4094, 'v')); }), 9);
    EXPECT_EQ(std::string(t.GetValue("k")).size(), 4093u);
}

TEST(NameValueTable, SetValueMayCopyFromItsOwnEntry) {
    CNameValueTable t(4, 4);
    t.SetValue("a", "abc");
    t.SetValue("a", t.GetValue("a") + 1);
    EXPECT_STREQ(t.GetValue("a"), "bc");
    t.SetValue("b", std::string(300, 'x'));
    t.SetValue("b", t.GetValue("b"));
    EXPECT_EQ(std::string(t.GetValue("b")), std::string(300, 'x'));
}

// CNameValueTable below the language: the name index in step with the entries after every
// kind of change. (The limits of names and entries are catalogue and loader behaviours.)
#include <gtest/gtest.h>

#include <string>

#include "engine/ItemArray.h"

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
    t.Add("NOEQUALS");
    EXPECT_EQ(t.FindName("NOEQUALS"), -1);  // an entry without "=" never matches
    t.RemoveAll();
    EXPECT_EQ(t.FindName("v1"), -1);
    t.SetValue("v1", "back");
    EXPECT_EQ(t.FindName("v1"), 0);
    t.SetValue("\xe4x", "v");  // only ASCII letters are folded
    EXPECT_EQ(t.FindName("\xc4X"), -1);
    t.SetValue("a", t.GetValue("v1") + 1);  // from its own entries
    EXPECT_STREQ(t.GetValue("a"), "ack");
}

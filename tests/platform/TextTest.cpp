// The shared text helpers that paths go through on every system.

#include <gtest/gtest.h>

#include "platform/Text.h"

namespace {

using text::KeepRoot;

TEST(TrailingSeparators, WhatEachRootRuleKeeps) {
    struct Case {
        const char* path;
        char sep;
        KeepRoot keep;
        const char* expected;
    };
    const Case cases[] = {
        {"/a/b//", '/', KeepRoot::Separator, "/a/b"},
        {"///", '/', KeepRoot::Separator, "/"},
        {"", '/', KeepRoot::Separator, ""},
        {"a\\b/", '\\', KeepRoot::Separator, "a\\b/"},  // only the separator given goes
        {"///", '/', KeepRoot::Nothing, ""},
        {"http://host/", '/', KeepRoot::Nothing, "http://host"},
        {"C:\\\\", '\\', KeepRoot::Drive, "C:\\"},
        {"C:\\a\\\\", '\\', KeepRoot::Drive, "C:\\a"},
        {"\\\\", '\\', KeepRoot::Drive, "\\"},
        {"C:\\", '\\', KeepRoot::Separator, "C:"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text::withoutTrailingSeparators(c.path, c.sep, c.keep), c.expected) << c.path;
}

}  // namespace

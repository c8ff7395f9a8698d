#include "Escapes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Line feeds, escapes and DEL from a Box's name must not reach a terminal;
// bytes of UTF-8 text must.
const std::string kHostile = "Box\n\x1b[2J\x7f\t\xc3\xa9"s;

TEST(MaskControlCharacters, ShowsControlCharactersAsHex) {
    EXPECT_EQ(kvu::MaskControlCharacters(kHostile), "Box\\x0a\\x1b[2J\\x7f\\x09\xc3\xa9");
    EXPECT_EQ(kvu::MaskControlCharacters("a\0b"s), "a\\x00b");
}

TEST(MaskControlCharacters, ReplacesControlCharactersKeepingTheLength) {
    EXPECT_EQ(kvu::MaskControlCharacters(kHostile, '?'), "Box??[2J??\xc3\xa9");
    EXPECT_EQ(kvu::MaskControlCharacters("a\0b"s, '?'), "a?b");
    EXPECT_EQ(kvu::MaskControlCharacters("plain text ~", '?'), "plain text ~");
}

} // namespace

#include "DesktopEntry.h"

#include <gtest/gtest.h>

TEST(DesktopEntry, TakesTheUnlocalisedNameAndPathOfTheMainGroupOnly) {
    const auto entry = ParseDesktopEntry("# Intel WiDi\n"
                                         "[Desktop Entry]\n"
                                         "Name[de]=Intel Drahtlos\n"
                                         "Name = Intel(R) WiDi\r\n"
                                         "Type=Application\n"
                                         "Path=/opt/Intel\\sWiDi/\n"
                                         "Name=Second Name\n"
                                         "[Desktop Action New]\n"
                                         "Name=Action\n"
                                         "Path=/elsewhere\n");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, L"Intel(R) WiDi");
    EXPECT_EQ(entry->path, L"/opt/Intel WiDi/");
    EXPECT_FALSE(entry->isHidden);
}

TEST(DesktopEntry, MalformedLinesAreSkipped) {
    const std::string text = std::string("garbage without equals\n\xFF\xFE\0binary\n", 33) +
                             "[Desktop Entry]\nno equals here\n=value without key\n"
                             "Name=Caf\xC3\xA9 \\q\n\n[broken group\nPath=/x\n";
    const auto entry = ParseDesktopEntry(text);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, L"Caf\u00E9 \\q");
    EXPECT_EQ(entry->path, L"") << "a broken group header ends the main group";
}

TEST(DesktopEntry, NoNameInTheMainGroupGivesNothing) {
    EXPECT_FALSE(ParseDesktopEntry(""));
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nName[en]=Only localised\nPath=/x\n"));
    EXPECT_FALSE(ParseDesktopEntry("[Other]\nName=Elsewhere\n"));
    EXPECT_FALSE(ParseDesktopEntry("Name=Before any group\n[Desktop Entry]\n"));
}

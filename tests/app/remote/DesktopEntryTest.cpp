#include "remote/DesktopEntry.h"

#include <gtest/gtest.h>

TEST(DesktopEntry, TakesTheUnlocalisedNameAndPathOfTheMainGroupOnly) {
    const auto entry = ParseDesktopEntry("# Intel WiDi\n"
                                         "[Desktop Entry]\n"
                                         "Name[de]=Intel Drahtlos\n"
                                         "Name = Intel(R) WiDi\r\n"
                                         "Type=Application\n"
                                         "Path=/opt/Intel\\sWiDi/\n"
                                         "[Desktop Action New]\n"
                                         "Name=Action\n"
                                         "Path=/elsewhere\n");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, L"Intel(R) WiDi");
    EXPECT_EQ(entry->path, L"/opt/Intel WiDi/");
    EXPECT_FALSE(entry->isHidden);
}

// Anyone can write a desktop file: one that is no valid key file counts as
// absent rather than half read.
TEST(DesktopEntry, MalformedFileGivesNothing) {
    const std::string valid = "[Desktop Entry]\nName=Caf\xC3\xA9\nHidden=true\n";
    const auto entry = ParseDesktopEntry(valid);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, L"Caf\u00E9");
    EXPECT_TRUE(entry->isHidden);
    EXPECT_FALSE(ParseDesktopEntry("garbage without equals\n" + valid));
    EXPECT_FALSE(ParseDesktopEntry(valid + "[broken group\n"));
    EXPECT_FALSE(ParseDesktopEntry(std::string("[Desktop Entry]\nName=\xFF\xFE\0x\n", 22)));
}

TEST(DesktopEntry, NoNameInTheMainGroupGivesNothing) {
    EXPECT_FALSE(ParseDesktopEntry(""));
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nName[en]=Only localised\nPath=/x\n"));
    EXPECT_FALSE(ParseDesktopEntry("[Other]\nName=Elsewhere\n"));
    EXPECT_FALSE(ParseDesktopEntry("Name=Before any group\n[Desktop Entry]\n"));
}

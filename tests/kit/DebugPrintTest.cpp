// The debug trace's line limit and the text conversions it relies on.
#include "DebugPrint.h"
#include "Unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string captureOne(const std::function<void()>& print) {
    std::string captured;
    SetDebugSink([&captured](std::string_view line) { captured = line; });
    print();
    SetDebugSink({});
    return captured;
}

TEST(DebugPrint, LongLinesAreCutAtACharacterBoundary) {
    // 16381 ASCII bytes, then a three-byte character that no longer fits.
    const std::string head(kDebugPrintBufferBytes - 3, 'x');
    const std::string line = captureOne([&] { DebugPrint("%s\xE2\x82\xAC tail", head.c_str()); });
    EXPECT_EQ(line, head);
    const std::string shortLine = captureOne([] { DebugPrint("Fail(%d, %d)\n", -4, 111); });
    EXPECT_EQ(shortLine, "Fail(-4, 111)\n");
}

TEST(DebugPrint, WideLinesArriveAsUtf8) {
    EXPECT_EQ(captureOne([] { DebugPrintW(L"##%ls \u00e9\n", L"x"); }), "##x \xC3\xA9\n");
    const std::wstring huge(kDebugPrintBufferBytes * 2, L'\u00e9');
    const std::string line = captureOne([&] { DebugPrintW(L"%ls", huge.c_str()); });
    EXPECT_LT(line.size(), static_cast<size_t>(kDebugPrintBufferBytes));
    EXPECT_EQ(line.size() % 2, 0u); // only whole two-byte characters
}

TEST(Unicode, RoundTripsAndReplacesWhatIsNotText) {
    const std::wstring text = L"a\u00e9\u4e2d\U0001F600";
    EXPECT_EQ(kvu::FromUtf8(kvu::ToUtf8(text)), text);
    // Lone surrogate and out-of-range values.
    EXPECT_EQ(kvu::ToUtf8(std::wstring{wchar_t(0xD800), wchar_t(0x110000)}),
              "\xEF\xBF\xBD\xEF\xBF\xBD");
    // Truncated sequence, overlong form, stray continuation byte.
    EXPECT_EQ(kvu::FromUtf8("\xE2\x82"), L"\uFFFD\uFFFD");
    EXPECT_EQ(kvu::FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");
    EXPECT_EQ(kvu::FromUtf8("a\x80"), L"a\uFFFD");
}

} // namespace

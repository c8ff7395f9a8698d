#include "resources/CStringTable.h"
#include "TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr UiLanguage kLanguages[] = {UiLanguage::English, UiLanguage::TraditionalChinese,
                                     UiLanguage::SimplifiedChinese};

} // namespace

TEST(CStringTable, ShippedTableHoldsEveryTextInEveryLanguageWithoutComplaint) {
    TraceCapture trace;
    const int englishSize = CStringTable(UiLanguage::English).size();
    for (UiLanguage language : kLanguages) {
        const CStringTable table(language);
        EXPECT_EQ(table.size(), englishSize);
        for (int number :
             {243, 244, 245, 248, 249, 251, 252, 253, 254, 256, 259, 260, 261, 262, 263,
              264, 265, 266, 267, 268, 269, 270, 271, 272, 273, 274, 275, 277, 278, 279,
              280, 281, 282, 294, 295, 296, 300, 301, 302, 303, 304, 305, 306, 307, 308,
              309, 310, 311, 312, 313, 340, 341, 342, 343, 344, 345, 346, 347})
            EXPECT_FALSE(table.text(number).isEmpty()) << number;
        EXPECT_TRUE(table.text(250).isEmpty()) << "no such number";
    }
    EXPECT_TRUE(trace.Lines().empty()) << trace.Lines().front();
}

TEST(CStringTable, TextsOfEachLanguage) {
    const CStringTable english(UiLanguage::English);
    const CStringTable traditional(UiLanguage::TraditionalChinese);
    const CStringTable simplified(UiLanguage::SimplifiedChinese);
    EXPECT_EQ(english.text(269), u"Intel WiDi is running, please turn it off first.");
    EXPECT_EQ(traditional.text(269), u"Intel WiDi正在執行中, 請先關閉WiDi.");
    EXPECT_EQ(simplified.text(269), u"Intel WiDi正在运行中, 请先关闭WiDi.");
    EXPECT_EQ(english.text(259), u"Found device (%S)");
    EXPECT_EQ(traditional.text(259), u"搜尋到裝置 (%S)");
    EXPECT_EQ(simplified.text(259), u"搜寻到设备 (%S)");
    EXPECT_EQ(english.text(296), u"Version :");
    EXPECT_EQ(traditional.text(296), u"版本：");
    EXPECT_EQ(simplified.text(296), u"版本 :");
    EXPECT_EQ(simplified.text(295), u"档案下载失败，请确认您的网路连线");
    // The buttons and the window titles speak the user's language too.
    EXPECT_EQ(english.text(265), u"OK");
    EXPECT_EQ(traditional.text(265), u"確定");
    EXPECT_EQ(simplified.text(265), u"确定");
    EXPECT_EQ(english.text(300), u"Brelmox Status");
    EXPECT_EQ(simplified.text(300), u"Brelmox 状态");
}

// 254 follows a media word directly; 271 holds a line break.
TEST(CStringTable, LeadingSpaceAndLineBreakSurvive) {
    const CStringTable english(UiLanguage::English);
    EXPECT_EQ(english.text(253) + u'/' + english.text(252) + english.text(254),
              u"Photo/Music files dropped to this media pool will be ignored!");
    EXPECT_EQ(english.text(271), u"No device found.\r\nPlease connect to correct Wifi AP.");
    for (UiLanguage language : kLanguages) {
        const CStringTable table(language);
        EXPECT_TRUE(table.text(254).startsWith(u' '));
        EXPECT_EQ(table.text(271).count(u"\r\n"), 1);
    }
    EXPECT_EQ(CStringTable(UiLanguage::TraditionalChinese).text(271),
              u"找不到裝置.\r\n請先連接到正確的無線網路.");
}

TEST(CStringTable, LocaleChoosesTheLanguage) {
    EXPECT_EQ(CStringTable::LanguageOfLocale("zh_TW.UTF-8"), UiLanguage::TraditionalChinese);
    EXPECT_EQ(CStringTable::LanguageOfLocale("zh_HK"), UiLanguage::TraditionalChinese);
    EXPECT_EQ(CStringTable::LanguageOfLocale("zh_CN.GB18030"), UiLanguage::SimplifiedChinese);
    EXPECT_EQ(CStringTable::LanguageOfLocale("zh_SG@x"), UiLanguage::SimplifiedChinese);
    for (const char* other : {"zh_MO", "zh", "en_US.UTF-8", "C", "", "zh_TWX"})
        EXPECT_EQ(CStringTable::LanguageOfLocale(other), UiLanguage::English) << other;
}

TEST(CStringTable, MessageLocaleVariablesTakeTurns) {
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    ::setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    ::setenv("LC_ALL", "", 1);
    EXPECT_EQ(CStringTable::UserLanguage(), UiLanguage::TraditionalChinese);
    ::unsetenv("LC_MESSAGES");
    EXPECT_EQ(CStringTable::UserLanguage(), UiLanguage::SimplifiedChinese);
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(CStringTable::UserLanguage(), UiLanguage::English);
    ::unsetenv("LC_ALL");
    ::unsetenv("LANG");
}

// A damaged strings file never yields a translation that would break a
// printf-style call or an empty text where English exists.
TEST(CStringTable, BadRowsAndTranslationsFallBack) {
    const QByteArray tsv = "number\ten\tzh_TW\tzh_CN\r\n"
                           "# comment\n"
                           "10\tFound (%S)\t\xE6\x89\xBE (%d)\t\xE6\x89\xBE (%S)\r\n"
                           "11\tEmpty\t\t\n"
                           "12\ttoo\tfew\n"
                           "13\tfirst\tA\tB\n"
                           "13\tsecond\tC\tD\n"
                           "14\t100%% sure\t\xFF\xFE\t%%\n"
                           "15\ta\\tb\\\\c\\q\tx\ty";
    TraceCapture trace;
    const CStringTable traditional(tsv, UiLanguage::TraditionalChinese);
    EXPECT_EQ(traditional.text(10), u"Found (%S)");
    EXPECT_EQ(traditional.text(11), u"Empty");
    EXPECT_TRUE(traditional.text(12).isEmpty());
    EXPECT_EQ(traditional.text(13), u"A");
    EXPECT_EQ(traditional.text(14), u"\uFFFD\uFFFD");
    EXPECT_EQ(traditional.text(15), u"x");
    EXPECT_FALSE(trace.Lines().empty());

    const CStringTable simplified(tsv, UiLanguage::SimplifiedChinese);
    EXPECT_EQ(simplified.text(10), u"找 (%S)");
    EXPECT_EQ(simplified.text(14), u"%%");
    const CStringTable english(tsv, UiLanguage::English);
    EXPECT_EQ(english.text(15), u"a\tb\\c\\q");
    EXPECT_EQ(english.size(), 5);
}

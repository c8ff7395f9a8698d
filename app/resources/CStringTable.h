#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <string_view>

// The application's name as the user sees it, in every language: the window
// titles, the menu entry and the texts that name it ("Click OK to close
// Brelmox.").
inline constexpr char kApplicationTitle[] = "Brelmox";

// The languages the interface texts come in.
enum class UiLanguage { English, TraditionalChinese, SimplifiedChinese };

// Every text the user sees, by number, in the user's language. The texts live
// in strings.tsv (compiled in as the Qt resource kStringTableResource): one
// row per number, a column per language, so a translator edits one file.
class CStringTable {
public:
    // "Error.", the title of the messages that report a failure.
    static constexpr int kErrorTitle = 256;

    // The application's table in the language of the user's locale.
    static const CStringTable& Get();

    // zh_TW and zh_HK read traditional Chinese, zh_CN and zh_SG simplified;
    // every other locale English. Encoding and modifier are ignored.
    static UiLanguage LanguageOfLocale(std::string_view localeName);
    // The language of the user's message locale (LC_ALL, LC_MESSAGES, LANG).
    static UiLanguage UserLanguage();

    // The compiled-in table in the given language.
    explicit CStringTable(UiLanguage language);
    // A table from the text of a strings file. Rows that are not a number and
    // four cells are skipped; a translation that is empty or whose printf
    // placeholders differ from the English ones gives way to the English text.
    CStringTable(QByteArrayView tsv, UiLanguage language);

    // The text of that number; empty for a number the table does not hold.
    QString text(int number) const { return m_texts.value(number); }
    UiLanguage language() const { return m_language; }
    qsizetype size() const { return m_texts.size(); }

private:
    UiLanguage m_language;
    QHash<int, QString> m_texts;
};

inline constexpr char kStringTableResource[] = ":/strings/strings.tsv";

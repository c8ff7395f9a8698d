#include "CStringTable.h"

#include "DebugPrint.h"
#include "Escapes.h"
#include "UserLanguage.h"

#include <QFile>
#include <QList>

namespace {

constexpr qsizetype kColumns = 4; // number, English, traditional, simplified

// Cells use the backslash escapes of one-line text files.
QString unescaped(QByteArrayView cell) {
    return QString::fromStdString(kvu::Unescape(std::string_view(cell.data(), cell.size())));
}

// The printf conversions of a text, in order ("%%" is no conversion).
QList<QString> placeholders(const QString& text) {
    QList<QString> found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'%')
            continue;
        qsizetype end = i + 1;
        while (end < text.size() && QStringView(u"-+ #0123456789.*hlLqjzt").contains(text[end]))
            ++end;
        if (end < text.size() && text[end] != u'%')
            found.append(text.mid(i, end - i + 1));
        i = end;
    }
    return found;
}

QByteArray resourceBytes() {
    QFile file(QString::fromLatin1(kStringTableResource));
    if (!file.open(QIODevice::ReadOnly)) {
        DebugPrint("CStringTable: resource %s is missing\n", kStringTableResource);
        return {};
    }
    return file.readAll();
}

} // namespace

const CStringTable& CStringTable::Get() {
    static const CStringTable table(UserLanguage());
    return table;
}

UiLanguage CStringTable::LanguageOfLocale(std::string_view localeName) {
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    if (name == "zh_TW" || name == "zh_HK")
        return UiLanguage::TraditionalChinese;
    if (name == "zh_CN" || name == "zh_SG")
        return UiLanguage::SimplifiedChinese;
    return UiLanguage::English;
}

UiLanguage CStringTable::UserLanguage() {
    return LanguageOfLocale(UserMessageLocale());
}

CStringTable::CStringTable(UiLanguage language) : CStringTable(resourceBytes(), language) {}

CStringTable::CStringTable(QByteArrayView tsv, UiLanguage language) : m_language(language) {
    const qsizetype column = 1 + static_cast<qsizetype>(language);
    for (QByteArrayView rest = tsv; !rest.isEmpty();) {
        const qsizetype end = rest.indexOf('\n');
        QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> cells = line.toByteArray().split('\t');
        bool isNumber = false;
        const int number = cells.front().toInt(&isNumber);
        if (!isNumber) // comments, the header, blank lines
            continue;
        if (cells.size() != kColumns || m_texts.contains(number)) {
            DebugPrint("CStringTable: skipping the row of %d\n", number);
            continue;
        }
        const QString english = unescaped(cells[1]);
        QString text = unescaped(cells[column]);
        if (text.isEmpty() || placeholders(text) != placeholders(english)) {
            if (language != UiLanguage::English)
                DebugPrint("CStringTable: %d has no usable translation\n", number);
            text = english;
        }
        m_texts.insert(number, text);
    }
}

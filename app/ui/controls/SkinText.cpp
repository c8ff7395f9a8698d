#include "SkinText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace {

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    return text;
}

QString withLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    // QTextOption breaks lines at U+2028 only.
    text.replace(u'\n', QChar::LineSeparator);
    return text;
}

Qt::Alignment alignmentOf(unsigned format) {
    Qt::Alignment alignment = Qt::AlignAbsolute;
    if (format & DT_CENTER)
        alignment |= Qt::AlignHCenter;
    else if (format & DT_RIGHT)
        alignment |= Qt::AlignRight;
    else
        alignment |= Qt::AlignLeft;
    if (format & DT_VCENTER)
        alignment |= Qt::AlignVCenter;
    else if (format & DT_BOTTOM)
        alignment |= Qt::AlignBottom;
    else
        alignment |= Qt::AlignTop;
    return alignment;
}

} // namespace

QFont SkinFont(const QWidget* parent, int pixelHeight) {
    QFont font = parent ? parent->font() : QApplication::font();
    font.setPixelSize(std::max(1, std::abs(pixelHeight)));
    return font;
}

void DrawSkinText(QPainter& painter, const QRect& rect, const QString& text, unsigned format,
                  const QFont& font, const QColor& color) {
    if (text.isEmpty())
        return;
    const bool singleLine = format & DT_SINGLELINE;
    const QString shown = singleLine ? oneLine(text) : withLineBreaks(text);
    QTextOption option(alignmentOf(format));
    option.setTextDirection(shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    option.setWrapMode(!singleLine && (format & DT_WORDBREAK)
                           ? QTextOption::WrapAtWordBoundaryOrAnywhere
                           : QTextOption::ManualWrap);
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawText(QRectF(rect), shown, option);
    painter.restore();
}

QSize MeasureSkinText(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(oneLine(text)), metrics.height());
}

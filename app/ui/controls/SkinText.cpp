#include "SkinText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <QWidget>

#include <algorithm>
#include <cmath>
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

QTextOption optionOf(const QString& shown, unsigned format) {
    QTextOption option(alignmentOf(format));
    option.setTextDirection(shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    option.setWrapMode(!(format & DT_SINGLELINE) && (format & DT_WORDBREAK)
                           ? QTextOption::WrapAtWordBoundaryOrAnywhere
                           : QTextOption::ManualWrap);
    return option;
}

QString shownText(const QString& text, unsigned format) {
    return format & DT_SINGLELINE ? oneLine(text) : withLineBreaks(text);
}

// The height of the text laid out in lines of the given width.
qreal layoutHeight(const QString& shown, const QTextOption& option, const QFont& font, int width) {
    QTextLayout layout(shown, font);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height += line.height();
    }
    layout.endLayout();
    return height;
}

// How far a fallback font (Chinese in a Latin font, say) raises the first
// line's baseline above where the font itself would put it.
qreal fallbackAscentExcess(const QString& shown, const QTextOption& option, const QFont& font,
                           qreal width) {
    QTextLayout layout(shown, font);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    qreal excess = 0;
    if (line.isValid()) {
        line.setLineWidth(width);
        excess = line.ascent() - QFontMetricsF(font).ascent();
    }
    layout.endLayout();
    return std::max<qreal>(0, excess);
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
    QString shown = shownText(text, format);
    if (format & DT_SINGLELINE)
        shown = QFontMetrics(font).elidedText(shown, Qt::ElideRight, rect.width());
    const QTextOption option = optionOf(shown, format);
    // Top-aligned text keeps the font's own baseline: a label one line high
    // would otherwise lose the descenders of a title that mixes in Chinese.
    // The box grows upwards only, since its bottom edge clips the text.
    QRectF box(rect);
    if (!(format & (DT_VCENTER | DT_BOTTOM)))
        box.setTop(box.top() - fallbackAscentExcess(shown, option, font, box.width()));
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawText(box, shown, option);
    painter.restore();
}

QSize MeasureSkinText(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(oneLine(text)), metrics.height());
}

int SkinLineHeight(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    QTextLayout layout(oneLine(text), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    const qreal descent =
        line.isValid() ? std::max(line.descent(), metrics.descent()) : metrics.descent();
    layout.endLayout();
    return static_cast<int>(std::ceil(metrics.ascent() + descent));
}

int FittingFontHeight(const QString& text, unsigned format, const QFont& font, QSize box,
                      int preferred, int minimum) {
    const QString shown = shownText(text, format);
    const QTextOption option = optionOf(shown, format);
    const bool wraps = option.wrapMode() != QTextOption::ManualWrap;
    QFont sized = font;
    for (int height = preferred; height > minimum; --height) {
        sized.setPixelSize(height);
        const bool fits = wraps ? layoutHeight(shown, option, sized, box.width()) <= box.height()
                                : QFontMetrics(sized).horizontalAdvance(shown) <= box.width();
        if (fits)
            return height;
    }
    return minimum;
}

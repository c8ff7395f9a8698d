#pragma once

#include "CGdiPlusBitmapResource.h"

#include <QBasicTimer>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

// A label over the pixels its window paints beneath it: one of up to 16
// pictures, or (when it has text) a line of text, which can scroll sideways
// when it is wider than the label. Assistive technologies read its whole
// text, or the picture's name while it has none.
class CStaticEx : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxImages = 16;

    explicit CStaticEx(QWidget* parent = nullptr);

    // Adds picture number ("PNG") after the others, or in place of all of
    // them without append. False when it is missing or the label already
    // holds kMaxImages pictures; nothing held is then changed.
    bool AddImage(int number, bool append);
    int imageCount() const { return static_cast<int>(m_images.size()); }

    // Which picture shows while there is no text; the owner repaints.
    void SetCurrentIndex(int index) { m_currentIndex = index; }
    int currentIndex() const { return m_currentIndex; }

    // Text, its character height in pixels, colour and format (SkinText.h).
    // A change stops scrolling and repaints; the same values again change
    // nothing.
    void SetText(const QString& text, int fontHeight, const QColor& color, unsigned format);
    const QString& text() const { return m_text; }
    unsigned textFormat() const { return m_format; }
    void SetTextFormat(unsigned format);
    // What the label is called while it shows a picture.
    void SetPictureName(const QString& name);
    // From now on the label grows downwards, from its present height, as
    // far as its text needs (SkinLineHeight), and shrinks back no further.
    void FitHeightToText();

    // The text's width and height on one line in the label's font.
    QSize MeasureText() const;

    // Scrolls a text at least as wide as the label: a rest of one second at
    // its start (shared by every label), then one pixel left every 100 ms
    // until it has passed, and again.
    void StartScrolling();
    void StopScrolling();
    bool isScrolling() const { return m_scrollTimer.isActive(); }
    int scrollOffset() const { return m_scrollOffset; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void prepare();
    void fitHeight();

    std::vector<CGdiPlusBitmapResource> m_images;
    std::vector<QImage> m_surfaces; // background with picture i; null until built
    QImage m_background;
    QString m_text;
    QString m_pictureName;
    QColor m_color = Qt::white;
    int m_fontHeight = 14;
    unsigned m_format = 0;
    int m_currentIndex = 0;
    int m_fittedFromHeight = 0; // 0: the label keeps its height
    int m_scrollOffset = 0;
    QBasicTimer m_scrollTimer;

    // Ticks every resting label has waited at its start; user-interface
    // thread only.
    static int s_scrollPause;
};

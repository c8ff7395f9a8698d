#pragma once

#include <QImage>
#include <QSize>

// A picture of the application's artwork, addressed by number and type:
// "PNG" reads :/PNG/<n>.png, "BITMAP" reads :/BITMAP/<n>.png. Each picture
// has a twin drawn at twice the size (<n>@2x.png), taken on screens with a
// device pixel ratio above 1; the image then carries that ratio, so its
// logical size is always the one of the plain picture.
class CGdiPlusBitmapResource {
public:
    // Replaces what the object held. A missing picture leaves it empty, says
    // so on the debug trace and returns false. A ratio of 0 means the
    // application's.
    bool Load(int number, const char* type, qreal devicePixelRatio = 0);

    bool isNull() const { return m_image.isNull(); }
    const QImage& image() const { return m_image; }
    // In logical pixels.
    QSize size() const { return m_image.deviceIndependentSize().toSize(); }

private:
    QImage m_image;
};

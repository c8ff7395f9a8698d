#include "Artwork.h"

#include <QString>

QImage LoadArtwork(QStringView type, int number, qreal devicePixelRatio) {
    const bool isDouble = devicePixelRatio > 1.0;
    const QString path = QStringLiteral(":/%1/%2%3.png")
                             .arg(type)
                             .arg(number)
                             .arg(isDouble ? QStringLiteral("@2x") : QString());
    QImage image(path);
    if (!image.isNull())
        image.setDevicePixelRatio(isDouble ? 2.0 : 1.0);
    return image;
}

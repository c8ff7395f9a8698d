#include "CGdiPlusBitmapResource.h"

#include "DebugPrint.h"
#include "resources/art/Artwork.h"

#include <QGuiApplication>
#include <QString>

#include <cstring>

bool CGdiPlusBitmapResource::Load(int number, const char* type, qreal devicePixelRatio) {
    m_image = QImage();
    if (std::strcmp(type, "PNG") != 0 && std::strcmp(type, "BITMAP") != 0) {
        DebugPrint("CGdiPlusBitmapResource::Load(): Unknown resource type %s\n", type);
        return false;
    }
    if (devicePixelRatio <= 0)
        devicePixelRatio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString folder = QString::fromLatin1(type);
    m_image = LoadArtwork(folder, number, devicePixelRatio);
    // A picture without its twin still shows, at its own size.
    if (m_image.isNull() && devicePixelRatio > 1)
        m_image = LoadArtwork(folder, number, 1.0);
    if (!m_image.isNull())
        return true;
    DebugPrint("CGdiPlusBitmapResource::Load(): Picture %d of type %s is missing\n", number, type);
    return false;
}

#include "CGdiPlusBitmapResource.h"

#include "DebugPrint.h"

#include <QGuiApplication>
#include <QString>

#include <cstring>

namespace {

QString resourcePath(int number, const char* folder, bool twice) {
    return QStringLiteral(":/%1/%2%3.png")
        .arg(QLatin1StringView(folder))
        .arg(number)
        .arg(twice ? QStringLiteral("@2x") : QString());
}

} // namespace

bool CGdiPlusBitmapResource::Load(int number, const char* type, qreal devicePixelRatio) {
    m_image = QImage();
    if (std::strcmp(type, "PNG") != 0 && std::strcmp(type, "BITMAP") != 0) {
        DebugPrint("CGdiPlusBitmapResource::Load(): Unknown resource type %s\n", type);
        return false;
    }
    if (devicePixelRatio <= 0)
        devicePixelRatio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    if (devicePixelRatio > 1 && m_image.load(resourcePath(number, type, true))) {
        m_image.setDevicePixelRatio(2);
        return true;
    }
    if (m_image.load(resourcePath(number, type, false)))
        return true;
    DebugPrint("CGdiPlusBitmapResource::Load(): Picture %d of type %s is missing\n", number, type);
    return false;
}

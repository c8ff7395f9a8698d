#include "CScreenshotWriter.h"

#include <QWidget>

#include <cstdio>

CScreenshotWriter::CScreenshotWriter(const QString& folder) : m_folder(folder) {
    m_folder.mkpath(QStringLiteral("."));
}

void CScreenshotWriter::SaveWidget(const QString& name, QWidget& widget, const QRect& area) {
    Save(name, widget.grab(area.isNull() ? QRect(QPoint(0, 0), widget.size()) : area));
}

void CScreenshotWriter::Save(const QString& name, const QPixmap& picture) {
    const QString path = m_folder.filePath(name + QStringLiteral(".png"));
    if (picture.isNull() || !picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++m_failed;
        return;
    }
    ++m_written;
}

#pragma once

#include <QDir>
#include <QPixmap>
#include <QRect>
#include <QString>

class QWidget;

// Writes the pictures of one run into a folder, one PNG per name.
class CScreenshotWriter {
public:
    explicit CScreenshotWriter(const QString& folder);

    // The widget as it shows (its children included); area in its own
    // coordinates, the whole widget by default.
    void SaveWidget(const QString& name, QWidget& widget, const QRect& area = QRect());
    void Save(const QString& name, const QPixmap& picture);

    int written() const { return m_written; }
    int failed() const { return m_failed; }

private:
    QDir m_folder;
    int m_written = 0;
    int m_failed = 0;
};

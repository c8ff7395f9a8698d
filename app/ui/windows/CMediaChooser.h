#pragma once

#include "resources/CStringTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QWidget;

// The desktop's file chooser for what a pool takes, instead of a drag:
// several files (of the pool's kinds, or any file), or one folder. It runs
// through the desktop portal where one runs (Qt's native dialog), else as
// Qt's own dialog, modally over owner, and starts in the folder used last.
class CMediaChooser {
public:
    explicit CMediaChooser(const CStringTable& strings = CStringTable::Get());

    // poolMask: kPhotoMusicPoolMask or kVideoPoolMask. The paths chosen;
    // none when the user cancelled.
    QStringList Choose(QWidget* owner, uint32_t poolMask, bool isFolder);

    // The chooser's filters for the pool: its kinds first, then all files.
    QStringList NameFilters(uint32_t poolMask) const;

private:
    const CStringTable& m_strings;
    QString m_lastFolder;
};

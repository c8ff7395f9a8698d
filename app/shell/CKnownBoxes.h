#pragma once

#include "CBoxSearch.h"

#include <QString>

#include <vector>

// The Boxes the user has used or added, the most recent first, kept in the
// XDG config folder ($XDG_CONFIG_HOME/vellumo/boxes.json) so that a later
// start finds its Box without the search. Each change writes the file whole
// through a temporary file renamed over it. A file that is missing gives no
// Boxes; one that is unreadable, too large or not what this class writes
// gives none either, and says so in the trace (entries that are not sound
// are left out one by one). A file that cannot be written stays as it was,
// also said in the trace. User-interface thread only.
class CKnownBoxes {
public:
    static constexpr size_t kMaxBoxes = 16;
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    explicit CKnownBoxes(QString filePath = DefaultFilePath());
    static QString DefaultFilePath();

    // Reads the file (again).
    void Load();
    const std::vector<FoundBox>& Boxes() const { return m_boxes; }
    const QString& filePath() const { return m_filePath; }

    // Puts box first, in place of the entry of the same Box (the same UDN
    // where both are known) and of any entry at the same host and port,
    // which another device holds now. The oldest beyond kMaxBoxes go. False
    // when the file could not be written; the Boxes are remembered until
    // the application ends all the same.
    bool Remember(const FoundBox& box);

private:
    bool save() const;

    QString m_filePath;
    std::vector<FoundBox> m_boxes;
};

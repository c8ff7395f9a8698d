#include "CMediaChooser.h"

#include "playback/CPlayRequest.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

constexpr int kStringVideo = 251;
constexpr int kStringMusic = 252;
constexpr int kStringPhoto = 253;
constexpr int kStringPhotoMusicPool = 243;
constexpr int kStringVideoPool = 245;
constexpr int kStringAllFiles = 306;

// What the library plays by name, as it sorts files: the extensions of its
// tables, and play lists, which it reads for either pool.
constexpr const char* kVideoPatterns =
    "*.mpg *.mpeg *.vob *.mp4 *.flv *.avi *.ts *.ps *.mkv *.rmvb *.m2ts *.rm *.tp *.trp *.mts "
    "*.wmv *.asf *.dat *.divx *.mov *.m4v *.3gp *.ogm *.avsts *.xlmv *.swf *.asm *.avs *.iso "
    "*.ifo *.m3u";
constexpr const char* kPhotoMusicPatterns =
    "*.jpg *.jpeg *.bmp *.png *.gif *.tiff *.tif *.dng *.alb *.mp3 *.wma *.aac *.m4a *.wav "
    "*.aiff *.ogg *.ra *.mka *.flac *.ec3 *.ape *.m3u";

} // namespace

CMediaChooser::CMediaChooser(const CStringTable& strings) : m_strings(strings) {}

QStringList CMediaChooser::NameFilters(uint32_t poolMask) const {
    const bool isVideo = poolMask == kVideoPoolMask;
    const QString kinds = isVideo
                              ? m_strings.text(kStringVideo)
                              : m_strings.text(kStringPhoto) + u'/' + m_strings.text(kStringMusic);
    return {QStringLiteral("%1 (%2)").arg(
                kinds, QLatin1StringView(isVideo ? kVideoPatterns : kPhotoMusicPatterns)),
            m_strings.text(kStringAllFiles) + QStringLiteral(" (*)")};
}

QStringList CMediaChooser::Choose(QWidget* owner, uint32_t poolMask, bool isFolder) {
    const QString title =
        m_strings.text(poolMask == kVideoPoolMask ? kStringVideoPool : kStringPhotoMusicPool);
    QFileDialog dialog(owner, title, m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder);
    dialog.setObjectName(QStringLiteral("mediaChooser"));
    if (isFolder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(NameFilters(poolMask));
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty())
        m_lastFolder = QFileInfo(chosen.front()).absolutePath();
    return chosen;
}

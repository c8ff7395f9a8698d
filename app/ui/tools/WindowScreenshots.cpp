#include "CScreenshotWriter.h"
#include "LanguageFont.h"
#include "Screenshots.h"
#include "dmp_vellumo.h"
#include "shell/CVellumoCore.h"
#include "ui/controls/CGdipButton.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CPlayStatusDialog.h"
#include "ui/windows/CVellumoDlg.h"

#include <QObject>
#include <QTest>

namespace {

QString fileName(const char* kind, const char* name, const char* language) {
    return QStringLiteral("%1-%2-%3")
        .arg(QLatin1StringView(kind), QLatin1StringView(name), QLatin1StringView(language));
}

// What the Box reports while it plays: a track part-way through, the volume
// at two thirds.
MediaPanelStatus playing(const wchar_t* path, int totalSeconds, int elapsedSeconds) {
    MediaPanelStatus status;
    status.count = 12;
    status.index = 3;
    status.name = path;
    status.totalSeconds = totalSeconds;
    status.elapsedSeconds = elapsedSeconds;
    status.maxVolume = 30;
    status.volume = 20;
    return status;
}

ImagePanelStatus showing(const wchar_t* path) {
    ImagePanelStatus status;
    status.count = 48;
    status.index = 6;
    status.name = path;
    return status;
}

struct StatusCase {
    const char* name;
    uint32_t types;
};
// The panel arrangements of the status window.
constexpr StatusCase kStatusCases[] = {
    {"video", DMP_TYPE_VIDEO},
    {"music", DMP_TYPE_AUDIO},
    {"photos", DMP_TYPE_IMAGE},
    {"music-photos", DMP_TYPE_AUDIO | DMP_TYPE_IMAGE},
};

// Titles with descenders in Latin and in Chinese.
constexpr const wchar_t* kSongs[] = {
    L"/home/ana/Music/\u6708\u5149\u5c0f\u591c\u66f2 (\u73fe\u5834\u7248).mp3",
    L"/home/ana/Music/song a.mp3",
};

void shootStatusWindows(CScreenshotWriter& writer) {
    QObject owner;
    for (const LanguageName& language : kLanguages) {
        const LanguageFont font(language);
        const CStringTable strings(language.language);
        for (const StatusCase& status : kStatusCases) {
            CPlayStatusDialog window(&owner, strings);
            window.Create(status.types);
            window.UpdateVideo(playing(
                L"/home/ana/Videos/Summer at the lake, the long cut (2024).mkv", 5421, 1275));
            window.UpdateAudio(playing(kSongs[0], 246, 97));
            window.UpdateImage(showing(L"/home/ana/Pictures/Harbour at dawn, quay.jpg"));
            window.show();
            writer.SaveWidget(fileName("status", status.name, language.suffix), window);
            // Waiting for a Box that stopped answering.
            window.ShowWaiting(
                strings.text(406).replace(QStringLiteral("%S"), QStringLiteral("Living Room")));
            writer.SaveWidget(fileName("status-waiting", status.name, language.suffix), window);
            window.ShowWaiting(
                strings.text(636).replace(QStringLiteral("%S"), QStringLiteral("Living Room TV")));
            writer.SaveWidget(fileName("status-waiting-tv", status.name, language.suffix), window);
            window.ShowWaiting({});
            window.Destroy();
        }
        // A keyboard user on the pause button, the Box's volume not yet
        // reported, a Latin title.
        CPlayStatusDialog window(&owner, strings);
        window.Create(DMP_TYPE_AUDIO);
        MediaPanelStatus before = playing(kSongs[1], 246, 97);
        before.maxVolume = 0;
        before.volume = 0;
        window.UpdateAudio(before);
        window.show();
        Activate(window);
        if (auto* pause =
                window.audioPanel().findChild<CGdipButton*>(QStringLiteral("pauseButton")))
            pause->setFocus(Qt::TabFocusReason);
        writer.SaveWidget(fileName("status", "music-focused-volume-unknown", language.suffix),
                          window);
        window.Destroy();
    }
}

// Before a Box is chosen: the two pools and the corner buttons, without
// the search that DoModal starts.
void shootMainWindow(CScreenshotWriter& writer) {
    for (const LanguageName& language : kLanguages) {
        const LanguageFont font(language);
        const CStringTable strings(language.language);
        CVellumoCore core(StartupOptions{}, strings);
        CVellumoDlg window(core, strings);
        window.LayoutControls();
        window.show();
        writer.SaveWidget(fileName("main", "window", language.suffix), window);
        Activate(window);
        // With a Box chosen, the keyboard on the photo and music pool.
        window.ShowChosenBox(
            strings.text(307).replace(QStringLiteral("%S"), QStringLiteral("Living Room Display")));
        window.photoMusicPool()->setFocus(Qt::TabFocusReason);
        writer.SaveWidget(fileName("main", "box-focused", language.suffix), window);
        window.boxButton()->setFocus(Qt::TabFocusReason);
        writer.SaveWidget(fileName("main", "box-name-focused", language.suffix), window);
        // A TV or speaker chosen instead.
        window.ShowChosenBox(
            strings.text(621).replace(QStringLiteral("%S"), QStringLiteral("Living Room TV")));
        writer.SaveWidget(fileName("main", "tv-name-focused", language.suffix), window);
        window.photoMusicPool()->clearFocus();
        window.boxButton()->clearFocus();
        if (language.language == UiLanguage::English) {
            ShootButtonLooks(writer, window, *window.photoMusicPool(),
                             QStringLiteral("button-pool"));
            ShootButtonLooks(writer, window, *window.remoteLinkButton(),
                             QStringLiteral("button-corner"));
        }
        window.hide();
    }
}

} // namespace

void ShootWindows(CScreenshotWriter& writer) {
    shootMainWindow(writer);
    shootStatusWindows(writer);
}

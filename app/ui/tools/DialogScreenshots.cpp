#include "CScreenshotWriter.h"
#include "LanguageFont.h"
#include "Screenshots.h"
#include "ui/controls/CGdipButton.h"
#include "ui/windows/CListDialog.h"
#include "ui/windows/CMessageDialog.h"

#include <QScrollBar>
#include <QTest>

#include <string>

namespace {

struct MessageCase {
    const char* name;
    int style;
    int title; // string number, -1 for none
    int body;
    int progressPercent;
};
// The messages the application shows, one per style and text arrangement.
constexpr MessageCase kMessages[] = {
    {"notice-title", CMessageDialog::kOneButton, 256, 295, 0},
    {"notice-two-lines", CMessageDialog::kOneButton, -1, 271, 0},
    {"question", CMessageDialog::kTwoButtons, -1, 294, 0},
    {"question-title", CMessageDialog::kTwoButtons, 277, 294, 0},
    {"busy", CMessageDialog::kBusy, -1, 270, 0},
    {"progress", CMessageDialog::kProgress, 277, -1, 40},
    {"progress-download", CMessageDialog::kProgress, -1, 274, 70},
    {"progress-variant", CMessageDialog::kProgressVariant, -1, 274, 25},
    {"upgrade-failed", CMessageDialog::kOneButton, 256, 407, 0},
    {"upgrade-box-gone", CMessageDialog::kOneButton, 256, 408, 0},
};

// Messages that name the Box or files: the body's string, its place-holders
// filled, and the button's caption (0: "OK").
struct NamingCase {
    const char* name;
    int body;
    int button;
};
constexpr NamingCase kNamingMessages[] = {
    {"box-lost", 400, 401},
    {"box-gone", 402, 0},
    {"box-silent", 403, 0},
    {"file-skipped", 404, 265},
    {"files-skipped", 405, 265},
    // The same and the renderer's own, for a TV or speaker.
    {"tv-lost", 630, 401},
    {"tv-gone", 632, 0},
    {"tv-silent", 633, 0},
    {"tv-one-type", 620, 0},
    {"tv-no-upgrade", 622, 0},
    {"tv-unlisted-types", 623, 0},
};

QString fileName(const char* kind, const char* name, const char* language) {
    return QStringLiteral("%1-%2-%3")
        .arg(QLatin1StringView(kind), QLatin1StringView(name), QLatin1StringView(language));
}

void shootMessage(CScreenshotWriter& writer, const QString& name, CMessageDialog& dialog) {
    dialog.show();
    Activate(dialog);
    writer.SaveWidget(name, dialog);
    if (dialog.style() == CMessageDialog::kBusy) {
        QTest::qWait(350); // a few turns of the wheel
        writer.SaveWidget(name + QStringLiteral("-later"), dialog);
    }
    dialog.EndDialog(IDOK);
}

void shootMessages(CScreenshotWriter& writer) {
    for (const LanguageName& language : kLanguages) {
        const LanguageFont font(language);
        const CStringTable strings(language.language);
        // The address of a Box on another subnet, being typed.
        CMessageDialog address(nullptr, strings);
        address.SetStyle(CMessageDialog::kAnswer);
        address.SetAnswer(QStringLiteral("10.20.0.5:7171"));
        address.SetTextIds(-1, 309);
        shootMessage(writer, fileName("message", "address", language.suffix), address);
        for (const MessageCase& message : kMessages) {
            CMessageDialog dialog(nullptr, strings);
            dialog.SetStyle(message.style);
            dialog.SetTextIds(message.title, message.body);
            dialog.SetProgress(message.progressPercent, 100);
            dialog.show();
            if (message.progressPercent)
                dialog.SetProgress(message.progressPercent, 100);
            shootMessage(writer, fileName("message", message.name, language.suffix), dialog);
        }
    }
    for (const LanguageName& language : kLanguages) {
        const CStringTable strings(language.language);
        for (const NamingCase& message : kNamingMessages) {
            CMessageDialog dialog(nullptr, strings);
            dialog.SetStyle(CMessageDialog::kOneButton);
            if (message.button != 0)
                dialog.SetButtonCaptions(strings.text(message.button), {});
            const QString names = message.body == 405
                                      ? QStringLiteral("song a.mp3, 月光.flac, clip 3.mkv")
                                      : QStringLiteral("Living Room Smart Display");
            dialog.SetTexts(std::nullopt, strings.text(message.body)
                                              .replace(QStringLiteral("%d"), QStringLiteral("3"))
                                              .replace(QStringLiteral("%S"), names)
                                              .replace(QStringLiteral("%F"),
                                                       QStringLiteral("clip 3.mkv, 月光.flac, …")));
            shootMessage(writer, fileName("message", message.name, language.suffix), dialog);
        }
    }
    const CStringTable english(UiLanguage::English);
    const std::pair<const char*, QString> oddTexts[] = {
        {"ten-thousand", QString(10000, u'x').replace(37, 1, u' ')},
        {"right-to-left", QStringLiteral("\u05d4\u05ea\u05e7\u05df \u05e0\u05de\u05e6\u05d0 "
                                         "\u0627\u0644\u062c\u0647\u0627\u0632 (192.168.1.20)")},
        {"empty", QString()},
    };
    for (const auto& [name, text] : oddTexts) {
        CMessageDialog dialog(nullptr, english);
        dialog.SetStyle(CMessageDialog::kOneButton);
        dialog.SetTexts(english.text(256), text);
        shootMessage(writer, fileName("message", name, "title"), dialog);
        CMessageDialog untitled(nullptr, english);
        untitled.SetStyle(CMessageDialog::kTwoButtons);
        untitled.SetTexts(std::nullopt, text);
        shootMessage(writer, fileName("message", name, "en"), untitled);
    }
}

void fillDevices(CListDialog& list, int count) {
    static const char* const kNames[] = {
        "Living Room Smart Display",
        "",
        "\xe5\xae\xa2\xe5\xbb\xb3\xe9\xa1\xaf\xe7\xa4\xba"
        "\xe5\x99\xa8",
        "Bedroom",
        "Kitchen",
        "A box with a very long friendly name that runs past "
        "the end of its row",
    };
    list.devices().clear();
    for (int i = 0; i < count; ++i) {
        const std::string name = kNames[i % std::size(kNames)];
        list.devices()["192.168.1." + std::to_string(20 + i)] =
            name.empty() || i < 6 ? name : name + " " + std::to_string(i);
    }
}

// Boxes, TVs or speakers and devices that cannot be used, side by side.
void fillKinds(CListDialog& list) {
    list.devices().clear();
    list.AddDevice("192.168.1.20", "Living Room Box", DeviceKind::Box);
    list.AddDevice("192.168.1.21", "Living Room Smart Display", DeviceKind::Renderer);
    list.AddDevice("192.168.1.22",
                   "A speaker with a very long friendly name that runs past the end of its row",
                   DeviceKind::Renderer);
    list.AddDevice("192.168.1.23", "Kitchen Radio", DeviceKind::Unusable, kReasonNoAVTransport);
    list.AddDevice("192.168.1.24", "\xe5\xae\xa2\xe5\xbb\xb3\xe9\x9b\xbb\xe8\xa6\x96",
                   DeviceKind::Unusable, kReasonNoRenderingControl);
    list.AddDevice("192.168.1.25", "Old Player", DeviceKind::Unusable, kReasonNoCommandPort);
    list.AddDevice("192.168.1.26", "", DeviceKind::Box);
}

void shootDeviceLists(CScreenshotWriter& writer) {
    for (const LanguageName& language : kLanguages) {
        const LanguageFont font(language);
        const CStringTable strings(language.language);
        CListDialog list(nullptr, strings);
        fillKinds(list);
        list.show();
        Activate(list);
        const QString name =
            QStringLiteral("devices-kinds-%1").arg(QLatin1StringView(language.suffix));
        writer.SaveWidget(name, list);
        list.itemButtons().at(1)->setFocus(Qt::TabFocusReason);
        CGdipButton* unusable = list.itemButtons().at(3);
        QTest::mouseMove(unusable, unusable->rect().center());
        writer.SaveWidget(name + QStringLiteral("-focus-hover-unusable"), list);
        list.hide();
    }
    for (const LanguageName& language : kLanguages) {
        const LanguageFont font(language);
        const CStringTable strings(language.language);
        for (int count : {1, 3, 12}) {
            if (count != 3 && language.language != UiLanguage::English)
                continue;
            CListDialog list(nullptr, strings);
            fillDevices(list, count);
            list.show();
            const QString name =
                QStringLiteral("devices-%1-%2").arg(count).arg(QLatin1StringView(language.suffix));
            writer.SaveWidget(name, list);
            if (count == 3) {
                Activate(list);
                list.addByAddressButton()->setFocus(Qt::TabFocusReason);
                writer.SaveWidget(name + QStringLiteral("-address-focused"), list);
            }
            if (count == 12) {
                auto* bar = list.findChild<QScrollBar*>();
                for (int step = 0; step < 3; ++step)
                    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
                writer.SaveWidget(name + QStringLiteral("-scrolled"), list);
                CGdipButton* row = list.itemButtons().at(4);
                QTest::mouseMove(row, row->rect().center());
                writer.SaveWidget(name + QStringLiteral("-scrolled-hover"), list);
            }
            list.hide();
        }
    }
}

} // namespace

void ShootDialogs(CScreenshotWriter& writer) {
    shootMessages(writer);
    shootDeviceLists(writer);
}

#include "ui/windows/CMessageDialog.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/SkinText.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

// Made on first use: the table reads a resource registered at start-up.
const CStringTable& english() {
    static const CStringTable table(UiLanguage::English);
    return table;
}

CGdipButton* button(CMessageDialog& dialog, const char* name) {
    return dialog.findChild<CGdipButton*>(QString::fromLatin1(name));
}

void clickButton(CMessageDialog& dialog, const char* name) {
    CGdipButton* target = button(dialog, name);
    ASSERT_TRUE(target && target->isVisible()) << name;
    QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
}

// Runs the dialog modally; the action runs inside its event loop.
int runWith(CMessageDialog& dialog, std::function<void()> action) {
    QTimer::singleShot(0, &dialog, std::move(action));
    return dialog.DoModal();
}

QProgressBar* progressBar(CMessageDialog& dialog) {
    return dialog.findChild<QProgressBar*>();
}

} // namespace

TEST(CMessageDialog, ButtonsEndTheRunWithCancelAndTheirResultAndNothingElseDoes) {
    CMessageDialog dialog(nullptr, english());
    dialog.SetStyle(CMessageDialog::kTwoButtons);
    dialog.SetTextIds(-1, 294);
    bool stayedOpen = false;
    int code = runWith(dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.close();
        stayedOpen = dialog.isVisible();
        clickButton(dialog, "secondButton");
    });
    EXPECT_TRUE(stayedOpen) << "Escape or the close command ended it";
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.Result(), CMessageDialog::kSecondButton);
    EXPECT_EQ(button(dialog, "secondButton")->accessibleName(), QStringLiteral("Cancel"));

    code = runWith(dialog, [&] { clickButton(dialog, "firstButton"); });
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.Result(), CMessageDialog::kFirstButton);

    // Ended by its owner, the run reports no button, whatever the last run did.
    dialog.SetStyle(CMessageDialog::kOneButton);
    code = runWith(dialog, [&] {
        EXPECT_FALSE(button(dialog, "secondButton")->isVisible());
        dialog.EndDialog(IDOK);
    });
    EXPECT_EQ(code, IDOK);
    EXPECT_EQ(dialog.Result(), CMessageDialog::kNoButton);
}

TEST(CMessageDialog, EndsFromAnotherThreadWithTheNewestProgressShown) {
    CMessageDialog dialog(nullptr, english());
    dialog.SetStyle(CMessageDialog::kProgress);
    dialog.SetTextIds(277, 279);
    std::thread worker;
    const int code = runWith(dialog, [&] {
        worker = std::thread([&dialog] {
            for (int sent = 0; sent <= 4096; sent += 64)
                dialog.SetProgress(sent, 4096);
            dialog.EndDialog(IDOK);
        });
    });
    worker.join();
    EXPECT_EQ(code, IDOK);
    EXPECT_EQ(dialog.Result(), CMessageDialog::kNoButton);
    EXPECT_EQ(dialog.progressPosition(), 4096);
    EXPECT_EQ(progressBar(dialog)->maximum(), 4096);
    EXPECT_EQ(progressBar(dialog)->value(), 4096);
}

TEST(CMessageDialog, ProgressFromAnotherThreadWhileItClosesAndAfterItWent) {
    auto* dialog = new CMessageDialog(nullptr, english());
    dialog->SetStyle(CMessageDialog::kProgressVariant);
    std::atomic<bool> stop = false;
    std::atomic<bool> ended = false;
    std::atomic<int> reports = 0;
    // Totals of 0 and positions past the total among them; ends after the
    // run has ended.
    std::thread worker([&, dialog] {
        for (int i = 0; !stop; ++i, ++reports) {
            dialog->SetProgress(i * 7, i % 3 == 0 ? 0 : i);
            if (ended)
                dialog->EndDialog(IDOK);
        }
    });
    const int code = runWith(*dialog, [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return reports > 1000; }));
        clickButton(*dialog, "secondButton");
    });
    ended = true;
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog->Result(), CMessageDialog::kSecondButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reports > 5000; }));
    QProgressBar* bar = progressBar(*dialog);
    EXPECT_GE(bar->value(), 0);
    EXPECT_LE(bar->value(), bar->maximum());
    EXPECT_FALSE(dialog->isVisible()) << "a late end or progress reopened it";

    stop = true;
    worker.join();
    // Gone with the worker's last reports still queued for it.
    delete dialog;
    QCoreApplication::processEvents();

    CMessageDialog shown(nullptr, english());
    shown.SetProgress(5, 0);
    EXPECT_EQ(progressBar(shown)->value(), 0) << "a total of 0 shows an empty bar";
    shown.SetProgress(150, 100);
    EXPECT_EQ(progressBar(shown)->value(), 100) << "past the total, a full bar";
    EXPECT_EQ(shown.progressPosition(), 150);
}

TEST(CMessageDialog, TextsStayInsideTheWindowClearOfTitleButtonsAndBar) {
    const QString longText(10000, u'\u0645');
    const QString texts[] = {QStringLiteral("Success."),
                             english().text(279),
                             english().text(271),
                             english().text(295),
                             QStringLiteral("\u05e9\u05dc\u05d5\u05dd abc \u8a2d\u5b9a"),
                             longText};
    for (int style = CMessageDialog::kOneButton; style <= CMessageDialog::kProgressVariant;
         ++style) {
        CMessageDialog dialog(nullptr, english());
        dialog.SetStyle(style);
        dialog.show();
        const auto labels = dialog.findChildren<CStaticEx*>();
        const CStaticEx* title = labels.at(0);
        const CStaticEx* body = labels.at(1);
        const QRect inside = dialog.rect().adjusted(2, 2, -2, -2);
        int bottom = 70; // the buttons' top
        if (style >= CMessageDialog::kProgress)
            bottom = progressBar(dialog)->geometry().top();
        else if (style == CMessageDialog::kBusy)
            bottom = inside.bottom() + 1;
        for (const QString& text : texts) {
            for (const std::optional<QString>& heading :
                 {std::optional<QString>(), std::optional(english().text(277))}) {
                dialog.SetTexts(heading, text);
                const QString what = QStringLiteral("style %1, %2, %3")
                                         .arg(style)
                                         .arg(heading ? QStringLiteral("title") : QString())
                                         .arg(text.left(20));
                ASSERT_TRUE(body->isVisible()) << qPrintable(what);
                EXPECT_TRUE(inside.contains(body->geometry())) << qPrintable(what);
                EXPECT_LE(body->geometry().bottom() + 1, bottom) << qPrintable(what);
                if (title->isVisible()) {
                    EXPECT_FALSE(title->geometry().intersects(body->geometry()))
                        << qPrintable(what);
                }
                EXPECT_FALSE(dialog.grab().isNull());
            }
        }
        dialog.SetTexts(std::nullopt, std::nullopt);
        EXPECT_FALSE(body->isVisible());
        dialog.EndDialog(IDOK);
    }
}

TEST(CMessageDialog, ABodyTooLongBesideTheTitleWrapsInsteadOfBeingCut) {
    CMessageDialog dialog(nullptr, english());
    dialog.show();
    const CStaticEx* body = dialog.findChildren<CStaticEx*>().at(1);
    dialog.SetTexts(english().text(277), english().text(278));
    EXPECT_EQ(body->textFormat(), DT_VCENTER | DT_SINGLELINE);
    dialog.SetTextIds(256, 295);
    EXPECT_TRUE(body->textFormat() & DT_WORDBREAK);
    dialog.SetTextIds(-1, 271);
    EXPECT_EQ(body->textFormat() & (DT_CENTER | DT_WORDBREAK), DT_CENTER | DT_WORDBREAK)
        << "centred and wrapped without a title";
    dialog.EndDialog(IDOK);
}

TEST(CMessageDialog, BusyWheelTurnsThroughItsTwelveFramesAndTheBodyDrags) {
    CMessageDialog dialog(nullptr, english());
    dialog.SetTexts(std::nullopt, QStringLiteral("Searching device, please wait......"));
    dialog.SetStyle(CMessageDialog::kBusy);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QPoint start = dialog.pos();
    auto* body = dialog.findChildren<CStaticEx*>().at(1);
    QTest::mousePress(body, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(body, QPoint(40, 30));
    QTest::mouseRelease(body, Qt::LeftButton, {}, QPoint(40, 30));
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));

    CStaticEx* wheel = dialog.findChildren<CStaticEx*>().at(0);
    ASSERT_EQ(wheel->imageCount(), 12);
    EXPECT_TRUE(QTest::qWaitFor([&] { return wheel->currentIndex() == 11; }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return wheel->currentIndex() == 0; }, 10000))
        << "back to the first frame";
    dialog.EndDialog(IDOK);
}

#include "ui/windows/CListDialog.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/MessageLayer.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Made on first use: the table reads a resource registered at start-up.
const CStringTable& english() {
    static const CStringTable table(UiLanguage::English);
    return table;
}

int runWith(CListDialog& dialog, std::function<void()> action) {
    QTimer::singleShot(0, &dialog, std::move(action));
    return dialog.DoModal();
}

void fill(CListDialog& dialog, int count) {
    dialog.devices().clear();
    for (int i = 0; i < count; ++i) {
        const std::string key =
            "10.0." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1);
        dialog.devices()[key] = "Box " + std::to_string(i);
    }
}

// The top of a row in the dialog's coordinates.
int rowTop(const CListDialog& dialog, int row) {
    return dialog.itemButtons().at(row)->mapTo(&dialog, QPoint(0, 0)).y();
}

void turnWheel(QWidget* target, int notches) {
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, -120 * notches), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(CListDialog, RowsInByteOrderOfTheKeysAndTheClickedRowsKeyIsKept) {
    CListDialog dialog(nullptr, english());
    dialog.devices() = {{"b", "Bravo"},
                        {"a", ""},
                        {"c", "Charlie"},
                        {"\xc3\xa9t\xc3\xa9", "\xe5\x8d\x80"},
                        {"B", "upper"}};
    QStringList captions;
    const int code = runWith(dialog, [&] {
        for (CGdipButton* row : dialog.itemButtons())
            captions << row->accessibleName();
        QTest::mouseClick(dialog.itemButtons().at(2), Qt::LeftButton, {}, QPoint(100, 18));
    });
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("upper, B, Box"), QStringLiteral("a, Box"),
                           QStringLiteral("Bravo, b, Box"), QStringLiteral("Charlie, c, Box"),
                           QStringLiteral("\u5340, \u00e9t\u00e9, Box")}))
        << "an empty name shows the key, a name is heard with it and the kind; bytes above 0x7f "
           "sort last";
    EXPECT_FALSE(dialog.isAddByAddressChosen());
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.selectedIndex(), 2);
    EXPECT_EQ(dialog.KeyAt(dialog.selectedIndex()), "b");
    EXPECT_EQ(dialog.KeyAt(-1), std::nullopt);
    EXPECT_EQ(dialog.KeyAt(5), std::nullopt);
}

TEST(CListDialog, EscapeAndTheCaptionCloseEndWithoutAChoice) {
    CListDialog dialog(nullptr, english());
    fill(dialog, 3);
    for (const bool isByEscape : {true, false}) {
        const int code = runWith(dialog, [&] {
            if (isByEscape)
                QTest::keyClick(dialog.itemButtons().at(1), Qt::Key_Escape);
            else
                dialog.close();
        });
        EXPECT_EQ(code, IDCANCEL);
        EXPECT_EQ(dialog.selectedIndex(), -1);
        EXPECT_FALSE(dialog.isAddByAddressChosen());
        EXPECT_EQ(dialog.KeyAt(dialog.selectedIndex()), std::nullopt);
        EXPECT_TRUE(dialog.itemButtons().empty());
    }
}

// The last row gives an address instead; Boxes that answer meanwhile join
// the list in key order, the focus staying on its row, and a row reached by
// Tab scrolls into view.
TEST(CListDialog, TheAddressRowComesLastAndRowsJoinWhileItShows) {
    CListDialog dialog(nullptr, english());
    dialog.devices() = {{"10.0.0.5", "Kitchen"}};
    bool wasFocusKept = false;
    int rowsAfterAdding = 0;
    const int code = runWith(dialog, [&] {
        ASSERT_NE(dialog.addByAddressButton(), nullptr);
        EXPECT_EQ(dialog.addByAddressButton()->accessibleName(), QStringLiteral("Add by address…"));
        dialog.itemButtons().front()->setFocus(Qt::TabFocusReason);
        dialog.AddDevice("10.0.0.1", "Attic");
        dialog.AddDevice("10.0.0.5", "Twice");
        rowsAfterAdding = static_cast<int>(dialog.itemButtons().size());
        wasFocusKept = dialog.focusWidget() == dialog.itemButtons().at(1);
        QTest::keyClick(dialog.addByAddressButton(), Qt::Key_Return);
    });
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(rowsAfterAdding, 2);
    EXPECT_TRUE(wasFocusKept) << "Kitchen keeps the focus, now in the second row";
    EXPECT_EQ(dialog.devices().at("10.0.0.5"), "Kitchen") << "a key joins once";
    EXPECT_TRUE(dialog.isAddByAddressChosen());
    EXPECT_EQ(dialog.selectedIndex(), -1);

    fill(dialog, 12);
    dialog.show();
    dialog.itemButtons().at(9)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(rowTop(dialog, 9), 36 + 5 * 36) << "the focused row shows whole";
    dialog.itemButtons().at(0)->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(rowTop(dialog, 0), 36);
    dialog.hide();
}

TEST(CListDialog, ScrollsOneRowPerStepByTheBarAndTheWheel) {
    CListDialog dialog(nullptr, english());
    fill(dialog, 6);
    dialog.show();
    auto* bar = dialog.findChild<QScrollBar*>();
    EXPECT_FALSE(bar->isEnabled())
        << "seven rows with the address row: the seventh stays partly below the edge";
    const int addressRowTop = dialog.addByAddressButton()->mapTo(&dialog, QPoint(0, 0)).y();
    EXPECT_LT(addressRowTop, dialog.height());
    EXPECT_GT(addressRowTop + 36, dialog.height());
    dialog.hide();

    fill(dialog, 12);
    dialog.show();
    ASSERT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), 6);
    EXPECT_EQ(rowTop(dialog, 0), 36);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(rowTop(dialog, 1), 36);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), 1) << "a click in the trough moves nothing";
    turnWheel(dialog.itemButtons().at(3), 1);
    EXPECT_EQ(rowTop(dialog, 2), 36);
    turnWheel(bar, 2);
    EXPECT_EQ(rowTop(dialog, 4), 36) << "one row per notch on the bar too";
    turnWheel(bar, 9);
    EXPECT_EQ(bar->value(), 6);
    EXPECT_EQ(rowTop(dialog, 6), 36);
    bar->setSliderPosition(0); // dragging the thumb
    EXPECT_EQ(rowTop(dialog, 0), 36);
}

TEST(CListDialog, NoBoxesAndFiveHundredBoxes) {
    CListDialog dialog(nullptr, english());
    dialog.show();
    EXPECT_TRUE(dialog.itemButtons().empty());
    EXPECT_FALSE(dialog.findChild<QScrollBar*>()->isEnabled());
    EXPECT_FALSE(dialog.grab().isNull());
    dialog.hide();

    fill(dialog, 500);
    dialog.show();
    ASSERT_EQ(dialog.itemButtons().size(), 500u);
    auto* bar = dialog.findChild<QScrollBar*>();
    EXPECT_EQ(bar->maximum(), 494);
    bar->setValue(bar->maximum());
    EXPECT_EQ(rowTop(dialog, 499), 36 + 5 * 36) << "the last Box in view, the address row below";
    EXPECT_FALSE(dialog.grab().isNull());
    EXPECT_EQ(dialog.KeyAt(499), "10.0.2.99") << "byte order: 99 after 100";
}

// Each row is heard with its kind; a device that cannot be used is greyed,
// says why, and neither the mouse nor the keyboard chooses it: Tab passes it
// by, a click on it leaves the dialog open.
TEST(CListDialog, KindsAreShownAndAnUnusableDeviceCannotBeChosen) {
    CListDialog dialog(nullptr, english());
    dialog.AddDevice("10.0.0.1", "Lounge TV", DeviceKind::Renderer);
    dialog.AddDevice("10.0.0.2", "Mute", DeviceKind::Unusable, kReasonNoAVTransport);
    dialog.AddDevice("10.0.0.3", "Den", DeviceKind::Box);
    dialog.AddDevice("10.0.0.4", "", DeviceKind::Unusable, "odd\nreason");
    dialog.AddDevice("10.0.0.2", "Again", DeviceKind::Renderer);
    EXPECT_EQ(dialog.KindOf("10.0.0.2"), DeviceKind::Unusable) << "a key joins once";
    QStringList spoken;
    std::vector<bool> enabled;
    bool wasTabbedPast = false;
    bool isOpenAfterClicks = false;
    bool wasHovered = false;
    std::pair<CGdipButton::Look, CGdipButton::Look> looksOverUnusable;
    QColor unusableName;
    QColor usableName;
    const int code = runWith(dialog, [&] {
        for (CGdipButton* row : dialog.itemButtons()) {
            spoken << row->accessibleName();
            enabled.push_back(row->isEnabled());
        }
        const QImage picture = dialog.grab().toImage();
        // The first letters of the names, on rows 1 and 2.
        const auto brightest = [&](int row) {
            QColor best(Qt::black);
            for (int x = 42; x < 60; ++x)
                for (int y = 36 * (row + 1) + 10; y < 36 * (row + 1) + 26; ++y)
                    if (picture.pixelColor(x, y).lightness() > best.lightness())
                        best = picture.pixelColor(x, y);
            return best;
        };
        usableName = brightest(0);
        unusableName = brightest(1);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        // The pointer from a usable row onto an unusable one: neither shows hovered.
        QTest::mouseMove(dialog.itemButtons().at(0), QPoint(100, 18));
        wasHovered = dialog.itemButtons().at(0)->currentLook() == CGdipButton::Look::Hover;
        QTest::mouseMove(dialog.itemButtons().at(1), QPoint(100, 18));
        looksOverUnusable = {dialog.itemButtons().at(0)->currentLook(),
                             dialog.itemButtons().at(1)->currentLook()};
        dialog.itemButtons().at(0)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog.itemButtons().at(0), Qt::Key_Tab);
        wasTabbedPast = dialog.focusWidget() == dialog.itemButtons().at(2);
        QTest::mouseClick(dialog.itemButtons().at(1), Qt::LeftButton, {}, QPoint(100, 18));
        QTest::keyClick(dialog.itemButtons().at(1), Qt::Key_Space);
        QTest::mouseClick(dialog.itemButtons().at(3), Qt::LeftButton, {}, QPoint(100, 18));
        isOpenAfterClicks = dialog.isVisible();

        QTest::mouseClick(dialog.itemButtons().at(0), Qt::LeftButton, {}, QPoint(100, 18));
    });
    EXPECT_EQ(spoken, (QStringList{QStringLiteral("Lounge TV, 10.0.0.1, TV or speaker"),
                                   QStringLiteral("Mute, 10.0.0.2, Cannot be used: No AVTransport "
                                                  "service"),
                                   QStringLiteral("Den, 10.0.0.3, Box"),
                                   QStringLiteral("10.0.0.4, Cannot be used: odd?reason")}));
    EXPECT_EQ(enabled, (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(wasTabbedPast) << "Tab goes from the TV to the Box, past the unusable row";
    EXPECT_TRUE(isOpenAfterClicks) << "clicks and Space on unusable rows choose nothing";
    EXPECT_TRUE(wasHovered);
    EXPECT_EQ(looksOverUnusable,
              std::make_pair(CGdipButton::Look::Normal, CGdipButton::Look::Normal));
    EXPECT_GT(usableName.lightness(), 200);
    EXPECT_LT(unusableName.lightness(), 160) << "the unusable name is greyed";
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.selectedIndex(), 0);
    EXPECT_EQ(dialog.KeyAt(0), "10.0.0.1");

    // The kind set for a key filled in directly; Box takes it back.
    dialog.devices() = {{"a", "A"}, {"b", "B"}};
    dialog.SetKind("a", DeviceKind::Renderer);
    dialog.SetKind("10.0.0.2", DeviceKind::Box);
    dialog.show();
    EXPECT_EQ(dialog.itemButtons().at(0)->accessibleName(), QStringLiteral("A, a, TV or speaker"));
    EXPECT_EQ(dialog.itemButtons().at(1)->accessibleName(), QStringLiteral("B, b, Box"));
    EXPECT_EQ(dialog.KindOf("10.0.0.2"), DeviceKind::Box);
    dialog.hide();
}

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
              (QStringList{QStringLiteral("upper"), QStringLiteral("a"), QStringLiteral("Bravo"),
                           QStringLiteral("Charlie"), QStringLiteral("\u5340")}))
        << "an empty name shows the key; bytes above 0x7f sort last";
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.selectedIndex(), 2);
    EXPECT_EQ(dialog.KeyAt(dialog.selectedIndex()), "b");
    EXPECT_EQ(dialog.KeyAt(-1), std::nullopt);
    EXPECT_EQ(dialog.KeyAt(5), std::nullopt);
}

TEST(CListDialog, EscapeDoesNothingAndTheCaptionCloseEndsWithoutAChoice) {
    CListDialog dialog(nullptr, english());
    fill(dialog, 3);
    bool stayedOpen = false;
    const int code = runWith(dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        stayedOpen = dialog.isVisible();
        dialog.close();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_EQ(dialog.selectedIndex(), -1);
    EXPECT_EQ(dialog.KeyAt(dialog.selectedIndex()), std::nullopt);
    EXPECT_TRUE(dialog.itemButtons().empty());
}

TEST(CListDialog, ScrollsOneRowPerStepByTheBarAndTheWheel) {
    CListDialog dialog(nullptr, english());
    fill(dialog, 7);
    dialog.show();
    auto* bar = dialog.findChild<QScrollBar*>();
    EXPECT_FALSE(bar->isEnabled()) << "seven rows: the seventh stays partly below the edge";
    EXPECT_LT(rowTop(dialog, 6), dialog.height());
    EXPECT_GT(rowTop(dialog, 6) + 36, dialog.height());
    dialog.hide();

    fill(dialog, 12);
    dialog.show();
    ASSERT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), 5);
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
    EXPECT_EQ(bar->value(), 5);
    EXPECT_EQ(rowTop(dialog, 5), 36);
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
    EXPECT_EQ(bar->maximum(), 493);
    bar->setValue(bar->maximum());
    EXPECT_EQ(rowTop(dialog, 499), 36 + 6 * 36) << "the last row in view";
    EXPECT_FALSE(dialog.grab().isNull());
    EXPECT_EQ(dialog.KeyAt(499), "10.0.2.99") << "byte order: 99 after 100";
}

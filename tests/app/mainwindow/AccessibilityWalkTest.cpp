// What a screen reader finds in each window, walked through Qt's
// accessibility interfaces in the process: every control named, no two
// controls of a window alike, every text shown also told.
#include "MainWindowFixture.h"
#include "ui/controls/CStaticEx.h"
#include "ui/windows/CAudioFormView.h"
#include "ui/windows/CImageFormView.h"
#include "ui/windows/CMessageDialog.h"
#include "ui/windows/CVideoFormView.h"

#include <QAccessible>
#include <QApplication>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <set>
#include <utility>

namespace {

bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::Slider:
    case QAccessible::ScrollBar:
    case QAccessible::EditableText:
        return true;
    default:
        return false;
    }
}

bool isText(QAccessible::Role role) {
    return role == QAccessible::StaticText || role == QAccessible::Graphic;
}

QString describe(const QAccessibleInterface* node) {
    const QObject* object = node->object();
    return QStringLiteral("%1 \"%2\" (role %3)")
        .arg(object ? object->objectName() : QString(), node->text(QAccessible::Name))
        .arg(node->role());
}

struct WalkResult {
    QStringList problems;
    QSet<const QObject*> reached;
};

void walk(QAccessibleInterface* node, std::set<std::pair<int, QString>>& controls,
          WalkResult& result) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (child == nullptr || child->state().invisible)
            continue;
        result.reached.insert(child->object());
        const QString name = child->text(QAccessible::Name);
        const QAccessible::Role role = child->role();
        if ((isControl(role) || isText(role)) && name.trimmed().isEmpty())
            result.problems << QStringLiteral("no name: ") + describe(child);
        if (isControl(role) && !controls.emplace(role, name).second)
            result.problems << QStringLiteral("named like another: ") + describe(child);
        walk(child, controls, result);
    }
}

// Walks the window's tree; fails on a nameless control, two alike, and a
// visible text that the tree does not tell as such.
void expectReadable(QWidget& window, const char* what) {
    SCOPED_TRACE(what);
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(root, nullptr);
    std::set<std::pair<int, QString>> controls;
    WalkResult result;
    walk(root, controls, result);
    for (const QString& problem : result.problems)
        ADD_FAILURE() << problem.toStdString();
    for (CStaticEx* label : window.findChildren<CStaticEx*>()) {
        if (!label->isVisible() || label->text().trimmed().isEmpty())
            continue;
        QAccessibleInterface* told = QAccessible::queryAccessibleInterface(label);
        EXPECT_TRUE(result.reached.contains(label)) << label->text().toStdString();
        EXPECT_EQ(told->role(), QAccessible::StaticText) << label->text().toStdString();
        EXPECT_EQ(told->text(QAccessible::Name), label->text());
    }
    EXPECT_GT(controls.size(), 0u);
}

MediaPanelStatus playing(const wchar_t* path) {
    MediaPanelStatus status;
    status.count = 3;
    status.index = 1;
    status.name = path;
    status.totalSeconds = 200;
    status.elapsedSeconds = 20;
    status.maxVolume = 100;
    status.volume = 40;
    return status;
}

// The windows' trees; the state changes reach assistive technologies as
// the name and description events of the widgets changed, which Qt sends
// only where a platform bridge listens (not offscreen), so what is checked
// here is what they say.
class AccessibilityWalk : public MainWindowTest {};

} // namespace

TEST_F(AccessibilityWalk, TheMainWindowTellsItsPoolsTheBoxAndTheVersion) {
    MainWindow window(ParseStartupOptions({"--iface", "lo"}));
    window.LayoutControls();
    window.ShowChosenBox(QStringLiteral("Box: Living Room"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    expectReadable(window, "main window");
    const auto* version = window.findChild<CStaticEx*>(QStringLiteral("version"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().startsWith(QStringLiteral("Version : "))) << "linked in";
    EXPECT_EQ(window.boxButton()->accessibleName(), QStringLiteral("Box: Living Room"));
}

// Each arrangement of panels; the repeat button says its mode, the panel
// whether it plays, the title what plays now.
TEST_F(AccessibilityWalk, TheStatusWindowTellsEveryPanelApart) {
    QObject owner;
    for (const uint32_t types :
         {DMP_TYPE_VIDEO, DMP_TYPE_AUDIO, DMP_TYPE_IMAGE, DMP_TYPE_AUDIO | DMP_TYPE_IMAGE}) {
        CPlayStatusDialog status(&owner);
        status.Create(types);
        status.UpdateVideo(playing(L"/v/Lake.mkv"));
        status.UpdateAudio(playing(L"/m/Song of the long road with a title that scrolls.mp3"));
        status.UpdateImage({.count = 4, .index = 2, .name = L"/p/Harbour.jpg"});
        status.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&status));
        expectReadable(status, QStringLiteral("status window %1").arg(types).toUtf8().constData());
        status.Destroy();
    }

    CPlayStatusDialog status(&owner);
    status.Create(DMP_TYPE_AUDIO);
    status.UpdateAudio(playing(L"/m/First.mp3"));
    status.Show();
    CAudioFormView& panel = status.audioPanel();
    auto* repeat = panel.findChild<CGdipButton*>(QStringLiteral("repeatButton"));
    QAccessibleInterface* told = QAccessible::queryAccessibleInterface(repeat);
    EXPECT_TRUE(told->state().checkable);
    EXPECT_FALSE(told->state().checked);
    EXPECT_EQ(told->text(QAccessible::Description), QStringLiteral("No repeat"));
    repeat->click();
    EXPECT_TRUE(told->state().checked);
    EXPECT_EQ(told->text(QAccessible::Description), QStringLiteral("Repeat all"));

    EXPECT_EQ(panel.accessibleDescription(), QStringLiteral("Playing"));
    MediaPanelStatus paused = playing(L"/m/Next one.mp3");
    paused.isPaused = true;
    status.UpdateAudio(paused);
    const auto* title = panel.findChild<CStaticEx*>(QStringLiteral("title"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(const_cast<CStaticEx*>(title))
                  ->text(QAccessible::Name),
              QStringLiteral("Next one.mp3"));
    EXPECT_EQ(panel.accessibleDescription(), QStringLiteral("Paused"));
}

// A message tells its title, text and buttons, stands where it shows,
// centred on its owner; the waiting message of a search is gone once it
// ended.
TEST_F(AccessibilityWalk, MessagesTellTheirTextsAtTheirPlaceAndGoWhenClosed) {
    QWidget owner;
    owner.setGeometry(300, 200, 470, 312);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    for (const int style :
         {CMessageDialog::kOneButton, CMessageDialog::kTwoButtons, CMessageDialog::kAnswer}) {
        CMessageDialog message(&owner);
        message.SetStyle(style);
        message.SetTexts(style == CMessageDialog::kAnswer ? std::nullopt
                                                          : std::optional(QStringLiteral("Error.")),
                         QStringLiteral("No device found."));
        message.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&message));
        expectReadable(message, QStringLiteral("message %1").arg(style).toUtf8().constData());
        const QRect place = QAccessible::queryAccessibleInterface(&message)->rect();
        EXPECT_LE((place.center() - owner.frameGeometry().center()).manhattanLength(), 1)
            << "centred on its owner";
        EXPECT_EQ(place.topLeft(), message.mapToGlobal(QPoint(0, 0)));
        message.EndDialog(IDOK);
    }

    BoxSimProcess living(box("Living Room"), "127.0.0.2");
    auto window = makeWindow();
    bool wasWaiting = false;
    Driver driver(*window, [&] {
        wasWaiting = wasWaiting || window->waitingBox() != nullptr;
        if (!window->isVisible())
            return false;
        window->close();
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_TRUE(wasWaiting);
    for (const QWidget* top : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<const CMessageDialog*>(top), nullptr)
            << "a closed message stays for screen readers";
}

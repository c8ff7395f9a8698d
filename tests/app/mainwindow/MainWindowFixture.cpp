#include "MainWindowFixture.h"

#include "shell/CKnownBoxes.h"
#include "ui/controls/CStaticEx.h"

#include <QApplication>
#include <QDropEvent>

std::vector<std::string> box(const std::string& name) {
    return {"--port", "7171", "--upnp-iface", "lo", "--friendly-name", name};
}

bool clickButton(QWidget* box, const QString& caption) {
    if (box == nullptr)
        return false;
    for (CGdipButton* button : box->findChildren<CGdipButton*>())
        if (button->isVisible() && button->accessibleName() == caption) {
            button->click();
            return true;
        }
    return false;
}

Driver::Driver(CVellumoDlg& window, std::function<bool()> step) : m_step(std::move(step)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_step())
            m_timer.stop();
    });
    m_timer.start(20);
    QObject::connect(&m_watchdog, &QTimer::timeout, [this, &window] {
        if (!m_timer.isActive()) {
            m_watchdog.stop();
            return;
        }
        if (!m_hasFailed)
            ADD_FAILURE() << "the window never came to the expected state";
        m_hasFailed = true;
        m_watchdog.setInterval(200);
        if (QWidget* box = QApplication::activeModalWidget())
            if (!clickButton(box, QStringLiteral("Exit")))
                box->close();
        window.EndDialog(IDCANCEL);
    });
    m_watchdog.start(std::chrono::duration_cast<std::chrono::milliseconds>(kBound));
}

void dropAt(QWidget& window, const QPointF& position, const QMimeData& data) {
    QDragEnterEvent enter(position.toPoint(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
}

bool showsText(const QWidget& panel, const QString& text) {
    for (const CStaticEx* label : panel.findChildren<CStaticEx*>())
        if (label->isVisible() && label->text() == text)
            return true;
    return false;
}

CGdipButton* dropTarget(QWidget& playControl, const QString& name) {
    for (CGdipButton* button : playControl.findChildren<CGdipButton*>())
        if (button->accessibleName() == name)
            return button;
    return nullptr;
}

bool MessageCounter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == CMessageEvent::EventType() &&
        static_cast<CMessageEvent*>(event)->message() == m_message)
        ++count;
    return false;
}

void MainWindowTest::SetUp() {
    if (!IsInDummyNetwork())
        GTEST_SKIP() << "needs a private network namespace (root)";
}

std::unique_ptr<MainWindow> MainWindowTest::makeWindow(const std::string& searchInterface) {
    return std::make_unique<MainWindow>(ParseStartupOptions({"--iface", searchInterface}));
}

void MainWindowTest::remember(const std::vector<FoundBox>& boxes) {
    CKnownBoxes known;
    for (auto box = boxes.rbegin(); box != boxes.rend(); ++box)
        ASSERT_TRUE(known.Remember(*box));
}

int main(int argc, char** argv) {
    std::string why;
    if (!EnterDummyNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}

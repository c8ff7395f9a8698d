#pragma once

// What the main window's tests share: the window on its core, a driver that
// steps through modal loops, drops, and the test's own network and config.
#include "BoxSimProcess.h"
#include "DummyNetwork.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "shell/CVellumoCore.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CMessageEvent.h"
#include "ui/windows/CVellumoDlg.h"

#include <QMimeData>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr auto kBound = std::chrono::seconds(40);

// A simulated Box on the command port, announcing on loopback.
std::vector<std::string> box(const std::string& name);

// Clicks the visible button of a modal box that carries caption.
bool clickButton(QWidget* box, const QString& caption);

// Runs step every 20 ms from whatever loop runs (the window's, a modal
// box's), until it returns true. A watchdog of its own, which also runs
// while a step waits in a modal box, fails the test when the bound passes
// and then keeps answering "Exit", closing boxes and ending the window, so
// that nothing waits forever (a closed question means "Rescan").
class Driver {
public:
    Driver(CVellumoDlg& window, std::function<bool()> step);

private:
    std::function<bool()> m_step;
    QTimer m_timer;
    QTimer m_watchdog;
    bool m_hasFailed = false;
};

// A drag from a file manager that enters the window and drops at position.
void dropAt(QWidget& window, const QPointF& position, const QMimeData& data);
// Whether a label of the panel shows the text.
bool showsText(const QWidget& panel, const QString& text);
// The drop target of the play control that screen readers call name.
CGdipButton* dropTarget(QWidget& playControl, const QString& name);

// Counts the numbered messages of one number that reach a window.
class MessageCounter : public QObject {
public:
    explicit MessageCounter(uint32_t message) : m_message(message) {}
    size_t count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override;

private:
    uint32_t m_message;
};

// The program's composition: the application core, then its main window.
struct CoreOfTheWindow {
    CoreOfTheWindow(const StartupOptions& options, const CStringTable& strings)
        : core(options, strings) {}
    CVellumoCore core;
};

class MainWindow : private CoreOfTheWindow, public CVellumoDlg {
public:
    explicit MainWindow(const StartupOptions& options,
                        const CStringTable& strings = CStringTable::Get())
        : CoreOfTheWindow(options, strings), CVellumoDlg(core, strings) {}
    CVellumoCore& Core() { return core; }
    CPlaybackSession* Session() { return core.Session(); }
    const std::wstring& BoxAddress() const { return core.BoxAddress(); }
    std::optional<std::string> FindLocalAddress() const { return core.FindLocalAddress(); }
};

// Skipped outside the private network; each test remembers its Boxes in a
// folder of its own.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::unique_ptr<MainWindow> makeWindow(const std::string& searchInterface = "lo");
    // The Boxes a start remembers, written as the application writes them.
    void remember(const std::vector<FoundBox>& boxes);

    TempDir m_config;
    ScopedEnvironment m_configHome{"XDG_CONFIG_HOME", m_config.path().c_str()};
};

// The Box in use: remembered from an earlier start and checked directly
// while the search runs, added by address on another subnet, switched.
#include "MainWindowFixture.h"
#include "Sha256Digest.h"
#include "TestFiles.h"
#include "shell/CKnownBoxes.h"
#include "ui/windows/CListDialog.h"
#include "ui/windows/CMessageDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>

namespace {

FoundBox rememberedAt(const std::string& host, const std::string& name = {}) {
    FoundBox box;
    box.host = host;
    box.friendlyName = name;
    return box;
}

// The ordered record of what a start did, step by step.
struct Opening {
    bool isShownBeforeTheSearchEnded = false;
    bool wasWaitingMessageShown = false;
    bool wasListShown = false;
};

// Starts a window and records the order of its opening until the window
// shows and its search has ended, then closes it.
Opening open(MainWindow& window) {
    Opening opening;
    QSignalSpy completed(&window.Core().Search(), &CBoxSearch::Completed);
    bool isShown = false;
    Driver driver(window, [&] {
        opening.wasWaitingMessageShown = opening.wasWaitingMessageShown || window.waitingBox();
        opening.wasListShown = opening.wasListShown || window.deviceList().isVisible();
        if (!isShown && window.isVisible()) {
            isShown = true;
            opening.isShownBeforeTheSearchEnded = completed.isEmpty();
        }
        if (!isShown || completed.isEmpty())
            return false;
        window.close();
        return true;
    });
    EXPECT_EQ(window.DoModal(), IDCANCEL);
    EXPECT_TRUE(isShown);
    return opening;
}

// Both ends of the veth pair are this namespace's: a packet from one of its
// own addresses arriving on the other end must not count as forged.
void acceptLocalPackets() {
    for (const std::string& device :
         {std::string("all"), std::string(kDummyInterface), std::string(kDummyPeer)}) {
        std::ofstream("/proc/sys/net/ipv4/conf/" + device + "/accept_local") << 1;
        std::ofstream("/proc/sys/net/ipv4/conf/" + device + "/rp_filter") << 0;
    }
}

} // namespace

// The remembered Box answers: the window is usable before the search's
// window ends, without the waiting message, and the search goes on to its
// end. Remembered where nothing answers, the wait for the search stays.
TEST_F(MainWindowTest, ARememberedBoxThatAnswersOpensTheWindowBeforeTheSearchEnds) {
    BoxSimProcess living(box("Living Room"), "127.0.0.2");
    remember({rememberedAt("127.0.0.2", "Living Room")});
    auto window = makeWindow();
    const Opening atOnce = open(*window);
    EXPECT_TRUE(atOnce.isShownBeforeTheSearchEnded);
    EXPECT_FALSE(atOnce.wasWaitingMessageShown);
    EXPECT_FALSE(atOnce.wasListShown);
    EXPECT_EQ(window->BoxAddress(), L"127.0.0.2");
    EXPECT_EQ(window->boxButton()->accessibleName(), QStringLiteral("Box: Living Room"));
    window.reset();

    remember({rememberedAt("127.0.0.4", "Gone")});
    window = makeWindow();
    const Opening afterTheSearch = open(*window);
    EXPECT_FALSE(afterTheSearch.isShownBeforeTheSearchEnded);
    EXPECT_TRUE(afterTheSearch.wasWaitingMessageShown);
    EXPECT_FALSE(afterTheSearch.wasListShown) << "the Box that did not answer is not offered";
    EXPECT_EQ(window->BoxAddress(), L"127.0.0.2");
    // Found by the search, now remembered first with what the search knew.
    CKnownBoxes known;
    known.Load();
    ASSERT_FALSE(known.Boxes().empty());
    EXPECT_EQ(known.Boxes().front().host, "127.0.0.2");
    EXPECT_FALSE(known.Boxes().front().udn.empty());
}

// A Box whose search announcements stay on another subnet: the search finds
// nothing, the user gives its address (a wrong one first), plays on it by
// keyboard, and the next start opens on it at once.
TEST_F(MainWindowTest, ABoxOnAnotherSubnetIsAddedByAddressPlayedToAndRemembered) {
    const std::string address = "10.77.0.5";
    acceptLocalPackets();
    ASSERT_EQ(std::system(("ip addr add " + address + "/32 dev " + kDummyPeer).c_str()), 0);
    std::optional<BoxSimProcess> far(std::in_place,
                                     std::vector<std::string>{"--port", "7171", "--upnp-iface",
                                                              kDummyPeer, "--friendly-name",
                                                              "Far Box"},
                                     address);
    TempDir media;
    const std::string song = MakePatternFile(media, "far song.mp3", 300000).string();
    auto window = makeWindow("lo");
    enum class Stage { List, BadAddress, Notice, GoodAddress, Shown, Chooser, Done };
    Stage stage = Stage::List;
    QString notice;
    Driver driver(*window, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* message = dynamic_cast<CMessageDialog*>(modal);
        switch (stage) {
        case Stage::List:
            if (!window->deviceList().isVisible())
                return false;
            EXPECT_TRUE(window->deviceList().itemButtons().empty());
            QTest::keyClick(window->deviceList().addByAddressButton(), Qt::Key_Space);
            stage = Stage::BadAddress;
            return false;
        case Stage::BadAddress:
            if (message == nullptr || message->style() != CMessageDialog::kAnswer)
                return false;
            message->findChild<QLineEdit*>()->setText(QString::fromStdString(address) +
                                                      QStringLiteral(":70000"));
            QTest::keyClick(message->findChild<QLineEdit*>(), Qt::Key_Return);
            stage = Stage::Notice;
            return false;
        case Stage::Notice:
            if (message == nullptr || message->style() != CMessageDialog::kOneButton)
                return false;
            for (const QWidget* child : message->findChildren<QWidget*>())
                if (child->accessibleName().contains(QStringLiteral("is not an address")))
                    notice = child->accessibleName();
            QTest::keyClick(message, Qt::Key_Escape);
            stage = Stage::GoodAddress;
            return false;
        case Stage::GoodAddress:
            if (message == nullptr || message->style() != CMessageDialog::kAnswer)
                return false;
            EXPECT_EQ(message->answer(), QString::fromStdString(address) + QStringLiteral(":70000"))
                << "the entry keeps what was typed";
            message->findChild<QLineEdit*>()->setText(QString::fromStdString(address));
            clickButton(message, QStringLiteral("OK"));
            stage = Stage::Shown;
            return false;
        case Stage::Shown:
            if (!window->isVisible() || modal != nullptr)
                return false;
            window->activateWindow();
            window->photoMusicPool()->setFocus(Qt::TabFocusReason);
            stage = Stage::Chooser;
            // The chooser runs modally inside this key press.
            QTest::keyClick(window->photoMusicPool(), Qt::Key_Return);
            return false;
        case Stage::Chooser:
        case Stage::Done:
            return true;
        }
        return true;
    });
    Driver chooser(*window, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return false;
        dialog->setDirectory(QString::fromStdString(media.path()));
        // Typed, as selectFile leaves a focused name line alone.
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("far song.mp3"));
        // QFileDialog::accept, reached through the public QDialog one.
        static_cast<QDialog*>(dialog)->accept();
        return true;
    });
    Driver ender(*window, [&] {
        if (stage != Stage::Chooser ||
            !far->waitForEvent(ReceivedWhole("far song.mp3"), std::chrono::milliseconds(20)))
            return false;
        stage = Stage::Done;
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(stage, Stage::Done);
    EXPECT_TRUE(notice.startsWith(QStringLiteral("\"10.77.0.5:70000\" is not an address")))
        << notice.toStdString();
    EXPECT_EQ(window->BoxAddress(), L"10.77.0.5");
    const auto received = far->waitForEvent(ReceivedWhole("far song.mp3"));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->str("sha256"), Sha256FileHex(song));
    window.reset();

    window = makeWindow("lo");
    const Opening again = open(*window);
    EXPECT_TRUE(again.isShownBeforeTheSearchEnded);
    EXPECT_FALSE(again.wasListShown);
    EXPECT_EQ(window->BoxAddress(), L"10.77.0.5");
    window.reset();
    far.reset();
    EXPECT_EQ(std::system(("ip addr del " + address + "/32 dev " + kDummyPeer).c_str()), 0);
}

// While a song plays on the first Box, Ctrl+B lists the Boxes; choosing the
// second ends the first link ("D"), and what is dropped next plays there.
TEST_F(MainWindowTest, SwitchingBoxesEndsTheFirstLinkAndPlaysOnTheSecond) {
    std::vector<std::string> slow = box("First");
    slow.insert(slow.end(), {"--read-rate", "2000000"});
    BoxSimProcess first(slow, "127.0.0.2");
    BoxSimProcess second(box("Second"), "127.0.0.3");
    remember({rememberedAt("127.0.0.2", "First")});
    TempDir media;
    const std::string song = MakePatternFile(media, "long.mp3", 16 << 20).string();
    const std::string other = MakePatternFile(media, "other.mp3", 200000).string();
    const auto drop = [&](MainWindow& window, const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        dropAt(window, QRectF(window.photoMusicPool()->geometry()).center(), data);
    };
    auto window = makeWindow();
    enum class Stage { Opening, Playing, Listing, Switched, Done } stage = Stage::Opening;
    Driver driver(*window, [&] {
        CPlayStatusDialog& status = window->statusWindow();
        switch (stage) {
        case Stage::Opening:
            if (!window->isVisible())
                return false;
            drop(*window, song);
            stage = Stage::Playing;
            return false;
        case Stage::Playing:
            if (!status.isVisible())
                return false;
            status.activateWindow();
            stage = Stage::Listing;
            QTest::keyClick(&status, Qt::Key_B, Qt::ControlModifier);
            return true;
        case Stage::Listing:
        case Stage::Switched:
        case Stage::Done:
            return true;
        }
        return true;
    });
    Driver chooser(*window, [&] {
        CListDialog& list = window->deviceList();
        if (stage != Stage::Listing || !list.isVisible())
            return false;
        for (CGdipButton* row : list.itemButtons())
            if (row->accessibleName() == QStringLiteral("Second, 127.0.0.3, Box")) {
                stage = Stage::Switched;
                QTest::keyClick(row, Qt::Key_Return);
                return true;
            }
        return false;
    });
    Driver player(*window, [&] {
        if (stage != Stage::Switched || !window->isVisible() ||
            window->BoxAddress() != L"127.0.0.3")
            return false;
        EXPECT_FALSE(window->statusWindow().isVisible());
        EXPECT_TRUE(first.waitForEvent(CommandIs('D'))) << "the first link ended cleanly";
        drop(*window, other);
        stage = Stage::Done;
        return true;
    });
    Driver ender(*window, [&] {
        if (stage != Stage::Done ||
            !second.waitForEvent(ReceivedWhole("other.mp3"), std::chrono::milliseconds(20)))
            return false;
        window->EndDialog(IDCANCEL);
        return true;
    });
    EXPECT_EQ(window->DoModal(), IDCANCEL);
    EXPECT_EQ(stage, Stage::Done);
    const auto received = second.waitForEvent(ReceivedWhole("other.mp3"));
    ASSERT_TRUE(received);
    EXPECT_EQ(received->str("sha256"), Sha256FileHex(other));
    EXPECT_EQ(window->boxButton()->accessibleName(), QStringLiteral("Box: Second"));
    for (const JsonEvent& event : first.events())
        EXPECT_FALSE(event.str("event") == "file" && event.str("name") == "other.mp3");
}

#pragma once

#include "RecordingWindow.h"
#include "ui/windows/CPlayStatusDialog.h"
#include "ui/windows/PlayControlFormView.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

// A play status window owned by a window that records its messages.
class PlayStatusFixture : public ::testing::Test {
protected:
    using Message = RecordingWindow::Message;

    void open(uint32_t types) {
        dialog.Create(types);
        ASSERT_TRUE(dialog.Exists());
        dialog.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    // Delivers what the controls posted to their panels, then what reached
    // the owner.
    std::vector<Message> messages() {
        QCoreApplication::sendPostedEvents();
        return owner.TakeMessages();
    }

    template <class T> T* child(const char* name) {
        return dialog.findChild<T*>(QString::fromLatin1(name));
    }
    template <class T> T* child(QWidget* panel, const char* name) {
        return panel->findChild<T*>(QString::fromLatin1(name));
    }

    RecordingWindow owner;
    CPlayStatusDialog dialog{&owner};
};

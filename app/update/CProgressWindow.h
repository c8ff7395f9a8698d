#pragma once

#include <QString>

// A modal progress display that the application's windows make for the
// firmware download and the upgrade: a bar, a title, and Cancel where the
// window has one. Made and run on the user-interface thread.
class CProgressWindow {
public:
    // Run results; the dialogs' IDOK and IDCANCEL.
    static constexpr int kCompleted = 1;
    static constexpr int kCancelled = 2; // also when a button ended the run

    virtual ~CProgressWindow() = default;

    // User-interface thread.
    virtual void SetTitle(const QString& title) = 0;
    // Any thread: from another one the newest values reach the bar through
    // the event loop.
    virtual void SetProgress(int position, int total) = 0;
    // Ends a run with code (the run's result). Any thread; a run that has
    // already ended is left alone.
    virtual void EndDialog(int code) = 0;
    // Runs modally; returns kCancelled when a button ended the run, else the
    // code given to EndDialog.
    virtual int DoModal() = 0;
    // Whether the user's Cancel ended the last run.
    virtual bool WasCancelledByUser() const = 0;

    virtual int progressPosition() const = 0;
    virtual int progressTotal() const = 0;
};

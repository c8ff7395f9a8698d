#pragma once

#include "resources/CStringTable.h"
#include "ui/controls/CMessagePort.h"
#include "ui/controls/MessageLayer.h"
#include "update/CProgressWindow.h"

#include <QBasicTimer>
#include <QDialog>
#include <QPoint>
#include <QString>

#include <atomic>
#include <optional>

class CGdipButton;
class CStaticEx;
class QLineEdit;
class QProgressBar;

// The one dialog for questions, notices, busy and progress displays: a
// borderless dark window with rounded corners, dragged by its body, a green
// title and a white message, centred on its owner (on the screen without
// one). It ends through its buttons or its owner, and Escape ends a notice
// as its one button does and an answer as Cancel does; nothing else ends on
// Escape or the window's close command. One object serves many runs; each
// run lays the window out anew from the style and texts.
class CMessageDialog : public QDialog, public CMessageHandler, public CProgressWindow {
public:
    enum Style {
        kOneButton = 0,
        kTwoButtons = 1,
        kBusy = 2, // a turning wheel beside the message
        kProgress = 3,
        kProgressVariant = 4,
        kAnswer = 5, // a line to type in under the message, OK and Cancel
    };
    // What Result() says ended a run.
    enum ButtonResult { kNoButton = 0, kFirstButton = 1, kSecondButton = 2 };

    explicit CMessageDialog(QWidget* owner = nullptr,
                            const CStringTable& strings = CStringTable::Get());
    ~CMessageDialog() override;

    // Set before a run.
    void SetStyle(int style) { m_style = style; }
    // The answer line's text (kAnswer): what it shows at the start of a run,
    // what the user typed after it.
    void SetAnswer(const QString& answer) { m_answer = answer; }
    QString answer() const;
    int style() const { return m_style; }
    // The captions default to "OK" and "Cancel".
    void SetButtonCaptions(const QString& first, const QString& second);

    // Replaces both texts (none leaves a text empty); a busy dialog keeps no
    // title. Lays them out at once when the window is up.
    void SetTexts(std::optional<QString> title, std::optional<QString> body);
    // The same with texts of the string table; -1 for none.
    void SetTextIds(int titleId, int bodyId);

    // Shows position of total on the progress bar. Any thread: from another
    // one the newest values reach the bar through the event loop. A total of
    // 0 shows an empty bar; a position past the total, a full one.
    void SetProgress(int position, int total) override;
    // Ends a run with code (the run's return value). Any thread; a run that
    // has already ended, or a window that is closing, is left alone.
    void EndDialog(int code) override;

    // Runs modally; returns IDCANCEL when a button ended the run, else the
    // owner's code. Result() then says which button, if any.
    int DoModal() override { return exec(); }
    int Result() const { return m_result; }

    // The progress window's side: the title alone, Cancel the second button.
    void SetTitle(const QString& title) override { SetTexts(title, std::nullopt); }
    bool WasCancelledByUser() const override { return m_result == kSecondButton; }
    int progressPosition() const override { return m_position; }
    int progressTotal() const override { return m_total; }

    void setVisible(bool visible) override;
    // Escape: see the class comment.
    void reject() override;
    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void startDialog();
    void placeOnOwner();
    void layoutTexts();
    void applyProgress(int position, int total);
    void endWithButton(ButtonResult result);

    const CStringTable& m_strings;
    int m_style = kOneButton;
    int m_result = kNoButton;
    QString m_title;
    QString m_body;
    QString m_firstCaption;
    QString m_secondCaption;
    QString m_answer;
    int m_position = 0;
    int m_total = 0;

    CStaticEx* m_titleLabel; // the busy wheel in the busy style
    CStaticEx* m_bodyLabel;
    CGdipButton* m_firstButton;
    CGdipButton* m_secondButton;
    QProgressBar* m_progressBar;
    QLineEdit* m_answerLine;
    QBasicTimer m_busyTimer;
    std::optional<QPoint> m_dragOffset; // pointer to window corner while dragged by hand

    // The newest progress from another thread, position in the low half and
    // total in the high half, so that both travel together.
    std::atomic<uint64_t> m_pendingProgress{0};
    CMessagePort m_port{this};
};

#pragma once

#include "CFormView.h"
#include "PanelTemplate.h"
#include "ui/controls/CBitmapSlider.h"
#include "ui/controls/CGdipButton.h"
#include "ui/controls/CStaticEx.h"
#include "ui/controls/MessageLayer.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// What the music, video and photo panels share: a skinned background, the
// cover picture, the title, the total-time or counter label, the bar and the
// transport buttons (repeat, previous, play or pause, next, and close in the
// compact layouts). Every button becomes a message to the receiver (the
// main window): sent, except close, which is posted.
//
// The repeat mode stays between two windows, as the user last chose it.
//
// For assistive technologies each control's name ends with the panel's
// (accessibleName, "Music" say), so that the panels of one window tell their
// buttons apart; the repeat button is checkable while a repeat mode is on and
// describes the mode; the panel describes itself as playing or paused.
class CMediaFormView : public CFormView, public CMessageHandler {
public:
    // The pictures of one button look: normal, pressed and hover (-1 none).
    struct ButtonPictures {
        int normal;
        int pressed;
        int hover;
    };
    // One repeat mode: the repeat button's pictures and what it is called.
    struct RepeatLook {
        ButtonPictures pictures;
        const char* name;
    };
    struct Messages {
        uint32_t next;
        uint32_t previous;
        uint32_t pause;
        uint32_t resume;
        uint32_t repeat;
        std::optional<uint32_t> close;
    };

    // Builds the panel's window from layout templateId, replacing any that
    // exists. False, and no window, for a layout the panel does not know.
    bool Create(int templateId);

    // Offers play while paused, pause while playing.
    void ShowPaused(bool paused);
    bool isPaused() const { return m_paused; }
    int repeatMode() const { return m_repeatMode; }

    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void setVisible(bool visible) override;

    // The shown title of a path: the part after its last '/'.
    static QString TitleOf(const wchar_t* path);

protected:
    static constexpr int kTextHeight = 14;

    // repeatLooks: the repeat button's looks, indexed by repeat mode;
    // repeatOnMode: the mode a click turns repeating on with.
    CMediaFormView(QWidget* parent, QObject* receiver, const Messages& messages, int coverPicture,
                   std::span<const RepeatLook> repeatLooks, int repeatOnMode);

    // Adds the controls of the derived panel, in tab order after the
    // transport buttons.
    virtual void addControls(const PanelTemplate&) {}
    // Puts the controls in their idle state; at every show and hide.
    virtual void resetControls(bool visible);
    virtual QString idleTotalText() const = 0;

    bool event(QEvent* event) override;

    intptr_t send(uint32_t message, uintptr_t wParam = 0) const;
    static void setButtonPictures(CGdipButton* button, const ButtonPictures& pictures);
    // action: the tooltip ("Next"), the start of the object name
    // ("nextButton") and, with the panel's name, what screen readers hear.
    CGdipButton* addButton(const QString& action, const QRect& place,
                           const ButtonPictures& pictures);
    CStaticEx* addLabel(const QString& name, const QRect& place);
    // "Next (Music)": a control's name among those of every panel.
    QString spokenName(const QString& action) const;

    // Null while there is no window.
    CStaticEx* titleLabel() const { return m_title; }
    CStaticEx* totalLabel() const { return m_total; }
    CBitmapSlider* seekBar() const { return m_seekBar; }

private:
    void setRepeatPictures();
    void showRepeatState();
    void playOrPause();
    void toggleRepeat();

    QPointer<QObject> m_receiver;
    Messages m_messages;
    int m_coverPicture;
    std::span<const RepeatLook> m_repeatLooks;
    int m_repeatOnMode;

    bool m_paused = false;
    int m_repeatMode = 0;

    // The window's controls, children of the panel; null while there is no
    // window.
    QPointer<CStaticEx> m_title;
    QPointer<CStaticEx> m_total;
    QPointer<CBitmapSlider> m_seekBar;
    QPointer<CGdipButton> m_repeat;
    QPointer<CGdipButton> m_play;
    QPointer<CGdipButton> m_pause;
};

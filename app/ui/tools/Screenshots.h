#pragma once

#include "resources/CStringTable.h"

class CGdipButton;
class CScreenshotWriter;
class QString;
class QWidget;

// The interface languages, with the file-name suffix of their pictures and
// the font a desktop in that language gives applications (what fontconfig
// makes of "sans-serif" there; empty: the default one).
struct LanguageName {
    UiLanguage language;
    const char* suffix;
    const char* desktopFont;
};
inline constexpr LanguageName kLanguages[] = {
    {UiLanguage::English, "en", ""},
    {UiLanguage::TraditionalChinese, "zh_TW", "Noto Sans CJK TC"},
    {UiLanguage::SimplifiedChinese, "zh_CN", "Noto Sans CJK SC"}};

// Makes the shown window the active one, so that its focus (and the focus
// mark) shows.
void Activate(QWidget& window);

// Each renders the pictures of one area of the interface.
void ShootControls(CScreenshotWriter& writer);
void ShootDialogs(CScreenshotWriter& writer);
// The main window and the play status window.
void ShootWindows(CScreenshotWriter& writer);

// A button of stage normal, under the pointer, pressed and with the keyboard
// focus, each with a margin of the stage around it.
void ShootButtonLooks(CScreenshotWriter& writer, QWidget& stage, CGdipButton& button,
                      const QString& name);

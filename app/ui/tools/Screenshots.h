#pragma once

#include "resources/CStringTable.h"

class CGdipButton;
class CScreenshotWriter;
class QString;
class QWidget;

// The interface languages, with the file-name suffix of their pictures.
struct LanguageName {
    UiLanguage language;
    const char* suffix;
};
inline constexpr LanguageName kLanguages[] = {{UiLanguage::English, "en"},
                                              {UiLanguage::TraditionalChinese, "zh_TW"},
                                              {UiLanguage::SimplifiedChinese, "zh_CN"}};

// Each renders the pictures of one area of the interface.
void ShootControls(CScreenshotWriter& writer);
void ShootDialogs(CScreenshotWriter& writer);
// The main window and the play status window.
void ShootWindows(CScreenshotWriter& writer);

// A button of stage normal, under the pointer, pressed and with the keyboard
// focus, each with a margin of the stage around it.
void ShootButtonLooks(CScreenshotWriter& writer, QWidget& stage, CGdipButton& button,
                      const QString& name);

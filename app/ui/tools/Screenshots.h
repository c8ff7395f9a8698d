#pragma once

#include "CStringTable.h"

class CScreenshotWriter;

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

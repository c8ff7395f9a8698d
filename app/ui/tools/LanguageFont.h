#pragma once

#include <QFont>

struct LanguageName;

// The application's font of a desktop in the language (LanguageName), for
// its lifetime: the pictures of each language show the glyphs and the line
// heights its users get.
class LanguageFont {
public:
    explicit LanguageFont(const LanguageName& language);
    ~LanguageFont();
    LanguageFont(const LanguageFont&) = delete;
    LanguageFont& operator=(const LanguageFont&) = delete;

private:
    QFont m_saved;
};

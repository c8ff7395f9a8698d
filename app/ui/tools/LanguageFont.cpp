#include "LanguageFont.h"

#include "Screenshots.h"

#include <QApplication>

LanguageFont::LanguageFont(const LanguageName& language) : m_saved(QApplication::font()) {
    if (*language.desktopFont == '\0')
        return;
    QFont font(QString::fromLatin1(language.desktopFont));
    font.setPointSizeF(m_saved.pointSizeF());
    QApplication::setFont(font);
}

LanguageFont::~LanguageFont() {
    QApplication::setFont(m_saved);
}

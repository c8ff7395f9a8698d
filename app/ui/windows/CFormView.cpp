#include "CFormView.h"

#include "resources/art/Artwork.h"

#include <QKeyEvent>
#include <QPainter>

CFormView::CFormView(QWidget* parent) : QWidget(parent) {
    hide();
}

void CFormView::createWindow(QSize size, int backgroundBitmap) {
    Destroy();
    m_hasWindow = true;
    setFixedSize(size);
    m_background = LoadArtwork(u"BITMAP", backgroundBitmap, devicePixelRatioF());
}

void CFormView::Destroy() {
    if (!m_hasWindow)
        return;
    // The controls go with the window: nothing to reset on this hide.
    m_hasWindow = false;
    hide();
    setAcceptDrops(false);
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    m_background = QImage();
}

bool CFormView::FocusFirstControl() {
    for (QWidget* control = nextInFocusChain(); control != this;
         control = control->nextInFocusChain()) {
        if (!isAncestorOf(control))
            continue;
        if ((control->focusPolicy() & Qt::TabFocus) && control->isEnabled() &&
            control->isVisibleTo(this)) {
            control->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

void CFormView::paintEvent(QPaintEvent*) {
    if (!m_background.isNull())
        QPainter(this).drawImage(QPoint(0, 0), m_background);
}

void CFormView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        return;
    QWidget::keyPressEvent(event);
}

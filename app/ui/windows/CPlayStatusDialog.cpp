#include "CPlayStatusDialog.h"

#include "CAudioFormView.h"
#include "CImageFormView.h"
#include "CVideoFormView.h"
#include "ControlMessages.h"
#include "PlayControlFormView.h"
#include "dmp_vellumo.h"
#include "ui/controls/SkinText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace {

// Behind the panels where the window is taller than a panel column.
constexpr QColor kBackdrop(16, 18, 22);
constexpr int kVeilFontHeight = 16;
constexpr int kVeilMargin = 24;
constexpr int kStatusTitle = 300; // "Brelmox Status"

} // namespace

CPlayStatusDialog::CPlayStatusDialog(QObject* owner, const CStringTable& strings)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_owner(owner), m_playControl(new PlayControlFormView(this, strings)),
      m_video(new CVideoFormView(this, owner)), m_audio(new CAudioFormView(this, owner)),
      m_image(new CImageFormView(this, owner)), m_waitingVeil(new QLabel(this)) {
    setObjectName(QStringLiteral("playStatusWindow"));
    setWindowTitle(strings.text(kStatusTitle));
    m_waitingVeil->setObjectName(QStringLiteral("waitingVeil"));
    m_waitingVeil->setAlignment(Qt::AlignCenter);
    m_waitingVeil->setWordWrap(true);
    m_waitingVeil->setMargin(kVeilMargin);
    m_waitingVeil->setStyleSheet(
        QStringLiteral("background: rgba(16, 18, 22, 210); color: white;"));
    m_waitingVeil->setFont(SkinFont(this, kVeilFontHeight));
    m_waitingVeil->hide();
}

CPlayStatusDialog::~CPlayStatusDialog() = default;

void CPlayStatusDialog::Create(uint32_t types) {
    if (types == 0) {
        Destroy();
        return;
    }
    // The layout moves nothing the user chose.
    m_trackingPosition = false;
    rememberFocus();
    destroyChildWindows();
    m_types = types;
    m_playControl->SetTypes(types);
    const QSize size = layOutPanels();
    setFixedSize(size);
    m_waitingVeil->setGeometry(QRect(QPoint(0, 0), size));
    m_waitingVeil->raise();
    if (m_savedPosition)
        setGeometry(QRect(*m_savedPosition, size));
    restoreFocus();
    m_trackingPosition = true;
    m_started = true;
}

std::array<CFormView*, 4> CPlayStatusDialog::childViews() const {
    return {m_playControl, m_video, m_audio, m_image};
}

void CPlayStatusDialog::rememberFocus() {
    const std::array<CFormView*, 4> views = childViews();
    if (QWidget* focus = focusWidget())
        for (size_t i = 0; i < views.size(); ++i)
            if (views[i]->isAncestorOf(focus))
                m_focusedView = static_cast<int>(i);
}

void CPlayStatusDialog::restoreFocus() {
    const int focused = std::exchange(m_focusedView, -1);
    if (focused < 0)
        return;
    const std::array<CFormView*, 4> views = childViews();
    for (size_t step = 0; step < views.size(); ++step) {
        CFormView* view = views[(static_cast<size_t>(focused) + step) % views.size()];
        if (view->HasWindow() && view->FocusFirstControl())
            return;
    }
}

QSize CPlayStatusDialog::layOutPanels() {
    m_playControl->Create();
    m_playControl->move(0, 0);
    m_playControl->show();
    const QSize control = m_playControl->size();
    int width = control.width();
    int height = control.height();
    const auto place = [&](CMediaFormView& panel, int templateId, QPoint at) {
        panel.Create(templateId);
        panel.move(at);
        panel.show();
        return panel.size();
    };
    if (m_types & DMP_TYPE_VIDEO) {
        const QSize video = place(*m_video, CVideoFormView::kTemplate, {width, 0});
        return {width + video.width(), std::max(height, video.height())};
    }
    const bool music = m_types & DMP_TYPE_AUDIO;
    const bool photos = m_types & DMP_TYPE_IMAGE;
    int musicHeight = 0;
    if (music) {
        const QSize size =
            place(*m_audio, photos ? CAudioFormView::kCompactTemplate : CAudioFormView::kTemplate,
                  {width, 0});
        musicHeight = size.height();
        width += size.width();
        height = std::max(height, musicHeight);
    }
    if (photos && music) {
        const QSize size =
            place(*m_image, CImageFormView::kCompactTemplate, {control.width(), musicHeight});
        height = std::max(height, musicHeight + size.height());
    } else if (photos) {
        const QSize size = place(*m_image, CImageFormView::kTemplate, {width, 0});
        width += size.width();
        height = std::max(height, size.height());
    }
    return {width, height};
}

void CPlayStatusDialog::destroyChildWindows() {
    m_video->Destroy();
    m_image->Destroy();
    m_audio->Destroy();
    m_playControl->Destroy();
}

void CPlayStatusDialog::Destroy() {
    m_trackingPosition = false;
    rememberFocus();
    destroyChildWindows();
    hide();
    m_types = 0;
    m_playControl->SetTypes(0);
}

void CPlayStatusDialog::Raise() {
    showNormal();
    raise();
    activateWindow();
}

void CPlayStatusDialog::updatePlayback(CPlaybackFormView& panel, const MediaPanelStatus& status) {
    panel.UpdateStatus(status.name, status.count, status.index, status.totalSeconds,
                       status.elapsedSeconds, status.volume, status.maxVolume, status.repeat);
    panel.ShowPaused(status.isPaused);
}

void CPlayStatusDialog::UpdateVideo(const MediaPanelStatus& status) {
    updatePlayback(*m_video, status);
}

void CPlayStatusDialog::UpdateAudio(const MediaPanelStatus& status) {
    updatePlayback(*m_audio, status);
}

void CPlayStatusDialog::UpdateImage(const ImagePanelStatus& status) {
    m_image->UpdateStatus(status.name, status.count, status.index, status.repeat);
    m_image->ShowPaused(status.isPaused);
    // The name belongs to the library; keep a copy.
    m_lastPhotoStatus = {status.name ? status.name : L"", status.count, status.index, status.repeat,
                         status.isPaused};
}

void CPlayStatusDialog::ReapplyImageStatus() {
    const PhotoStatus& last = m_lastPhotoStatus;
    m_image->UpdateStatus(last.name.c_str(), last.count, last.index, last.repeatMode);
    m_image->ShowPaused(last.paused);
}

void CPlayStatusDialog::ShowWaiting(const QString& text) {
    m_waitingVeil->setText(text);
    m_waitingVeil->setVisible(!text.isEmpty());
    m_waitingVeil->raise();
    // The panels' controls reach nothing while playback waits.
    for (QWidget* panel : {static_cast<QWidget*>(m_playControl), static_cast<QWidget*>(m_video),
                           static_cast<QWidget*>(m_audio), static_cast<QWidget*>(m_image)})
        panel->setEnabled(text.isEmpty());
}

void CPlayStatusDialog::reject() {
    // Escape and cancel close nothing; the window closes from its caption.
}

void CPlayStatusDialog::closeEvent(QCloseEvent* event) {
    destroyChildWindows();
    PostMessageTo(m_owner, WM_STATUS_CLOSED, 0, 0);
    event->accept();
    done(IDCANCEL);
}

void CPlayStatusDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized))
        return;
    // The owner minimises itself instead; the user brings the window back
    // through it.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    PostMessageTo(m_owner, WM_STATUS_MINIMIZED, 0, 0);
    hide();
}

void CPlayStatusDialog::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (m_trackingPosition)
        m_savedPosition = geometry().topLeft();
}

void CPlayStatusDialog::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), kBackdrop);
}

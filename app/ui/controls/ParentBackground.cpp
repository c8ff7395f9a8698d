#include "ParentBackground.h"

#include <QList>
#include <QPainter>
#include <QRegion>
#include <QWidget>

QImage CaptureParentBackground(QWidget* control) {
    const qreal ratio = control->devicePixelRatioF();
    QImage image((QSizeF(control->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    if (control->isWindow())
        return image;

    QList<QWidget*> ancestors;
    for (QWidget* widget = control->parentWidget(); widget; widget = widget->parentWidget()) {
        ancestors.prepend(widget);
        if (widget->isWindow())
            break;
    }
    QPainter painter(&image);
    for (QWidget* ancestor : ancestors) {
        const QRect under(control->mapTo(ancestor, QPoint(0, 0)), control->size());
        const QWidget::RenderFlags flags = ancestor->isWindow() || ancestor->autoFillBackground()
                                               ? QWidget::DrawWindowBackground
                                               : QWidget::RenderFlags();
        // Only what lies inside the ancestor: outside it, a window would fill
        // its background colour, not show what is there.
        const QRect inside = under & ancestor->rect();
        if (!inside.isEmpty())
            ancestor->render(&painter, inside.topLeft() - under.topLeft(), QRegion(inside), flags);
    }
    return image;
}

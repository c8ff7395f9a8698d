#include "SkinAccessibility.h"

#include "CBitmapSlider.h"
#include "CStaticEx.h"

#include <QAccessibleWidget>

namespace {

class CStaticExAccessible : public QAccessibleWidget {
public:
    explicit CStaticExAccessible(CStaticEx* label) : QAccessibleWidget(label) {}

    QAccessible::Role role() const override {
        return label()->text().isEmpty() ? QAccessible::Graphic : QAccessible::StaticText;
    }

private:
    CStaticEx* label() const { return static_cast<CStaticEx*>(widget()); }
};

class CBitmapSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CBitmapSliderAccessible(CBitmapSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override {
        if (type != QAccessible::Value)
            return QAccessibleWidget::text(type);
        return slider()->isValueKnown() ? QString::number(slider()->value())
                                        : QStringLiteral("not yet known");
    }

    QVariant currentValue() const override {
        return slider()->isValueKnown() ? QVariant(slider()->value()) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        bool isNumber = false;
        const int position = value.toInt(&isNumber);
        if (isNumber)
            slider()->SettlePosition(position);
    }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->singleStep(); }

private:
    CBitmapSlider* slider() const { return static_cast<CBitmapSlider*>(widget()); }
};

// Asked for every class of an object's hierarchy, most derived first: the
// controls' own class names come before Qt's interfaces for their bases.
QAccessibleInterface* skinInterface(const QString& className, QObject* object) {
    if (className == QLatin1StringView("CStaticEx"))
        return new CStaticExAccessible(static_cast<CStaticEx*>(object));
    if (className == QLatin1StringView("CBitmapSlider"))
        return new CBitmapSliderAccessible(static_cast<CBitmapSlider*>(object));
    return nullptr;
}

} // namespace

void InstallSkinAccessibility() {
    static const bool isInstalled = [] {
        QAccessible::installFactory(skinInterface);
        return true;
    }();
    (void)isInstalled;
}

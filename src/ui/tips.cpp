#include "ui/tips.h"

#include "ui/toolkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHelpEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <algorithm>

namespace {

int ValueOf(const QWidget* control) {
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QComboBox*>(control) ||
        qobject_cast<const QSlider*>(control))
        return ControlValue(control);
    return 0;
}

// Where the handle of a bar is: the style knows, given the bar's options.
QRect HandleRect(const QSlider* bar) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.tickPosition = bar->tickPosition();
    option.tickInterval = bar->tickInterval();
    option.upsideDown =
        bar->orientation() == Qt::Horizontal
            ? bar->invertedAppearance() != (bar->layoutDirection() == Qt::RightToLeft)
            : !bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
}

QString Headline(const QString& tip) {
    qsizetype end = tip.size();
    for (const char* stop : {". ", "; "})
        if (const qsizetype at = tip.indexOf(QLatin1String(stop)); at >= 0) end = std::min(end, at);
    return tip.left(end);
}

class TipSource : public QObject {
public:
    TipSource(QWidget* control, TipText text) : QObject(control), text_(std::move(text)) {
        setObjectName("TipSource");
        control->installEventFilter(this);
        if (auto* bar = qobject_cast<QSlider*>(control)) {
            connect(bar, &QSlider::sliderMoved, this,
                    [this, bar](int value) { Follow(bar, value); });
            connect(bar, &QSlider::sliderPressed, this,
                    [this, bar] { Follow(bar, bar->sliderPosition()); });
        }
    }
    QString Text(const QWidget* control) const { return text_(ValueOf(control)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip) return false;
        auto* control = static_cast<QWidget*>(watched);
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), Text(control), control);
        return true;
    }

private:
    // Beside the handle, on the side away from the ticks (the pointer
    // covers the handle itself), and short: the first clause of the tip.
    void Follow(QSlider* bar, int value) {
        const QRect handle = HandleRect(bar);
        const QPoint at = bar->orientation() == Qt::Vertical
                              ? QPoint(handle.right() + 4, handle.center().y())
                              : QPoint(handle.center().x(), handle.bottom() + 4);
        QToolTip::showText(bar->mapToGlobal(at), Headline(text_(value)), bar);
    }

    TipText text_;
};

} // namespace

void SetTip(QWidget* control, TipText text) {
    delete control->findChild<TipSource*>("TipSource", Qt::FindDirectChildrenOnly);
    new TipSource(control, std::move(text));
}

QString TipOf(const QWidget* control) {
    const auto* source = control->findChild<TipSource*>("TipSource", Qt::FindDirectChildrenOnly);
    return source ? source->Text(control) : QString();
}

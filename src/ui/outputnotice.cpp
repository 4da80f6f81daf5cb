#include "ui/outputnotice.h"

#include "ui/toolkit.h"

#include <QTimer>

#include <chrono>

namespace {
// Beside the panel's "Output", above the volume bar.
const QRect kPlace(56, 6, 216, 18);
} // namespace

OutputNotice::OutputNotice(QWidget* outputPanel, Source source)
    : QLabel(outputPanel), source_(std::move(source)), timer_(new QTimer(this)) {
    setObjectName("LabelOutputGone");
    setGeometry(kPlace);
    QFont font = StandardFont();
    font.setBold(true);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    setPalette(colours);
    hide();
    connect(timer_, &QTimer::timeout, this, &OutputNotice::Look);
    timer_->start(kLookMs);
}

QString OutputNotice::Text(const OutputStatus& status) {
    return QString("No sound: %1 is gone").arg(QString::fromStdString(status.api));
}

void OutputNotice::Look() {
    const OutputStatus status = source_();
    if (!status.lost) {
        hide();
        return;
    }
    setText(Text(status));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(status.gone).count();
    setToolTip(QString("The audio output stopped %1 s ago. VI 801 opens it again every few "
                       "seconds; the sound comes back as it was.")
                   .arg(seconds));
    show();
}

#include "ui/appicon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// Two periods of a frequency-modulated sine: the sound of the chip.
QPainterPath FmWave(const QRectF& area) {
    QPainterPath wave;
    constexpr int kSteps = 160;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = 4 * std::numbers::pi * i / kSteps;
        const double y = std::sin(t + 1.1 * std::sin(t));
        const QPointF point(area.left() + area.width() * i / kSteps,
                            area.center().y() - y * area.height() / 2);
        if (i == 0)
            wave.moveTo(point);
        else
            wave.lineTo(point);
    }
    return wave;
}
} // namespace

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    QLinearGradient sky(tile.topLeft(), tile.bottomLeft());
    sky.setColorAt(0, QColor(0x2f, 0x4d, 0x8f));
    sky.setColorAt(1, QColor(0x16, 0x21, 0x44));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(tile, s * 0.18, s * 0.18);

    // Six operators in a row, as the patch has them; too small to read below 32 px.
    const bool operators = size >= 32;
    if (operators) {
        const double box = s * 0.085, gap = s * 0.045;
        const double left = (s - 6 * box - 5 * gap) / 2;
        p.setBrush(QColor(0xcf, 0xdc, 0xf2));
        for (int i = 0; i < 6; ++i)
            p.drawRoundedRect(QRectF(left + i * (box + gap), s * 0.74, box, box), s * 0.015,
                              s * 0.015);
    }
    const QRectF waveArea(s * 0.14, operators ? s * 0.2 : s * 0.26, s * 0.72,
                          operators ? s * 0.4 : s * 0.48);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xff, 0xb3, 0x47), std::max(1.5, s * 0.065), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawPath(FmWave(waveArea));
    p.end();
    return image;
}

namespace {
// Drawn at whatever size is asked, in device pixels: sharp at any device
// pixel ratio, where a set of fixed sizes would be scaled.
class DrawnIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = static_cast<int>(std::ceil(std::min(rect.width(), rect.height()) * ratio));
        painter->drawImage(QRectF(rect.topLeft(), QSizeF(side / ratio, side / ratio)),
                           DrawProgramIcon(side));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        return QPixmap::fromImage(
            DrawProgramIcon(std::max(1, std::min(size.width(), size.height()))));
    }
    QIconEngine* clone() const override { return new DrawnIconEngine; }
    QString key() const override { return QStringLiteral("vi801-drawn"); }
    // What a window system is given for the window's icon.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int size : kProgramIconSizes)
            sizes.push_back(QSize(size, size));
        return sizes;
    }
};
} // namespace

QIcon ProgramIcon() {
    return QIcon(new DrawnIconEngine);
}

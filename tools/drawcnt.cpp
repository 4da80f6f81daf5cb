// Draws the eight connection pictures img/cnt0.jpg .. img/cnt7.jpg shown
// beside the connection list: operators as numbered boxes, modulators
// stacked above the operator they modulate, carriers on the bottom row
// summed into the output, feedback loops on operators 1 and 5.
//
//   usage: vi801_drawcnt <directory>     (writes <directory>/cnt<i>.jpg)
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kWidth = 146;
constexpr int kHeight = 66;
constexpr int kBoxWidth = 14;
constexpr int kBoxHeight = 11;
constexpr int kRowPitch = 15;   // box plus the serial link below it
constexpr int kCarrierTop = 46; // bottom row: the carriers
constexpr int kBusY = 61;       // the output sum
constexpr int kColumnPitch = 24;
constexpr int kVoiceGap = 8;       // between the four- and two-operator voices
constexpr int kDrawingRight = 120; // the "out" label stands right of this

// A column is a serial chain, top to bottom; its last operator is a carrier.
using Column = std::vector<int>;

// Bit 0 of the index joins operators 1-2 in parallel, bit 1 operators 3-4,
// bit 2 operators 5-6 (0: serial).
std::vector<Column> FourOperatorColumns(int index) {
    switch (index & 3) {
    case 0:
        return {{1, 2, 3, 4}};
    case 1:
        return {{1}, {2, 3, 4}};
    case 2:
        return {{1, 2}, {3, 4}};
    default:
        return {{1}, {2, 3}, {4}};
    }
}

std::vector<Column> TwoOperatorColumns(int index) {
    if (index & 4) return {{5}, {6}};
    return {{5, 6}};
}

void DrawArrowHead(QPainter& p, QPointF tip, QPointF direction) {
    const QPointF normal(-direction.y(), direction.x());
    QPolygonF head;
    head << tip << tip - direction * 3 + normal * 2 << tip - direction * 3 - normal * 2;
    p.setBrush(Qt::black);
    p.drawPolygon(head);
}

// A loop from the box's output on its right side back into its input.
void DrawFeedback(QPainter& p, const QRectF& box) {
    const double x = box.right();
    QPainterPath loop;
    loop.moveTo(x, box.top() + 8);
    loop.cubicTo(x + 7, box.top() + 10, x + 7, box.top() - 1, x + 1, box.top() + 3);
    p.setBrush(Qt::NoBrush);
    p.drawPath(loop);
    DrawArrowHead(p, QPointF(x + 0.5, box.top() + 2.5), QPointF(-0.8, 0.6));
}

void DrawBox(QPainter& p, const QRectF& box, int op) {
    p.setBrush(QColor(230, 236, 246));
    p.drawRect(box);
    p.drawText(box, Qt::AlignCenter, QString::number(op));
}

QImage Draw(int index) {
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    QFont font("Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);

    std::vector<Column> columns = FourOperatorColumns(index);
    const size_t fourOpColumns = columns.size();
    for (const Column& c : TwoOperatorColumns(index))
        columns.push_back(c);

    const int drawingWidth =
        kColumnPitch * static_cast<int>(columns.size() - 1) + kBoxWidth + kVoiceGap;
    const int firstColumn = (kDrawingRight - drawingWidth) / 2;
    double firstCarrierX = 0;
    for (size_t col = 0; col < columns.size(); ++col) {
        // The two-operator voice stands apart from the four-operator one.
        const int gap = col >= fourOpColumns ? kVoiceGap : 0;
        const double left = firstColumn + gap + kColumnPitch * static_cast<double>(col) + 0.5;
        const Column& chain = columns[col];
        const int rows = static_cast<int>(chain.size());
        for (int i = 0; i < rows; ++i) {
            const double top = kCarrierTop - kRowPitch * (rows - 1 - i) + 0.5;
            const QRectF box(left, top, kBoxWidth, kBoxHeight);
            DrawBox(p, box, chain[i]);
            const double cx = box.center().x();
            if (i + 1 < rows)
                p.drawLine(QPointF(cx, box.bottom()),
                           QPointF(cx, box.bottom() + kRowPitch - kBoxHeight));
            else
                p.drawLine(QPointF(cx, box.bottom()), QPointF(cx, kBusY + 0.5));
            if (chain[i] == 1 || chain[i] == 5) DrawFeedback(p, box);
            if (col == 0) firstCarrierX = cx;
        }
    }
    // The sum of the carriers goes to the output on the right.
    p.drawLine(QPointF(firstCarrierX, kBusY + 0.5), QPointF(kWidth - 3, kBusY + 0.5));
    DrawArrowHead(p, QPointF(kWidth - 1, kBusY + 0.5), QPointF(1, 0));
    p.setPen(Qt::black);
    QFont small = font;
    small.setBold(false);
    small.setPixelSize(8);
    p.setFont(small);
    p.drawText(QRectF(kWidth - 24, kBusY - 11, 22, 10), Qt::AlignRight | Qt::AlignBottom, "out");
    p.end();
    return image;
}

bool SaveJpeg(const QImage& image, const std::string& path) {
    tjhandle handle = tjInitCompress();
    if (!handle) return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    // 4:4:4 and high quality keep the one-pixel lines sharp.
    const int rc = tjCompress2(handle, image.constBits(), image.width(),
                               static_cast<int>(image.bytesPerLine()), image.height(), TJPF_RGB,
                               &jpeg, &size, TJSAMP_444, 95, TJFLAG_ACCURATEDCT);
    bool ok = rc == 0;
    if (ok) {
        FILE* file = std::fopen(path.c_str(), "wb");
        ok = file && std::fwrite(jpeg, 1, size, file) == size;
        if (file) ok = std::fclose(file) == 0 && ok;
    } else {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), tjGetErrorStr2(handle));
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int index = 0; index < 8; ++index) {
        const std::string path = std::string(argv[1]) + "/cnt" + std::to_string(index) + ".jpg";
        if (!SaveJpeg(Draw(index), path)) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

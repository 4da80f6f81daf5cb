// Draws the eight connection pictures img/cnt0.jpg .. img/cnt7.jpg shown
// beside the connection list: operators as numbered boxes, modulators
// stacked above the operator they modulate, carriers on the bottom row
// summed into the output, feedback loops on operators 1 and 5. Each is
// drawn again at two and three times the pixels, for screens of that
// device pixel ratio: cnt<i>@2x.jpg and cnt<i>@3x.jpg.
//
//   usage: vi801_drawcnt <directory>     (writes <directory>/cnt<i>[@<n>x].jpg)
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace {

constexpr int kWidth = 146;
constexpr int kHeight = 66;
constexpr int kBoxWidth = 14;
constexpr int kBoxHeight = 11;
constexpr int kRowPitch = 15; // box plus the serial link below it
constexpr int kBusGap = 4;    // from the carriers' bottom down to the output sum
constexpr int kColumnPitch = 24;
constexpr int kVoiceGap = 8;   // between the four- and two-operator voices
constexpr int kOutLength = 24; // the output line past the last carrier

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

struct Box {
    QRectF rect;
    int op;
    bool lastInColumn;
};

// The drawing of one scheme: boxes with their carriers on the row y = 0 and
// the output sum below them; placed in the picture afterwards.
struct Scheme {
    std::vector<Box> boxes;
    double busY = 0, busLeft = 0, busRight = 0;
};

Scheme Lay(int index) {
    std::vector<Column> columns = FourOperatorColumns(index);
    const size_t fourOpColumns = columns.size();
    for (const Column& c : TwoOperatorColumns(index))
        columns.push_back(c);
    Scheme scheme;
    double right = 0;
    for (size_t col = 0; col < columns.size(); ++col) {
        // The two-operator voice stands apart from the four-operator one.
        const double left =
            kColumnPitch * static_cast<double>(col) + (col >= fourOpColumns ? kVoiceGap : 0);
        const int rows = static_cast<int>(columns[col].size());
        for (int i = 0; i < rows; ++i)
            scheme.boxes.push_back(
                {QRectF(left, -kRowPitch * (rows - 1 - i), kBoxWidth, kBoxHeight), columns[col][i],
                 i + 1 == rows});
        right = left + kBoxWidth;
    }
    scheme.busY = kBoxHeight + kBusGap;
    scheme.busLeft = kBoxWidth / 2.0;
    scheme.busRight = right + kOutLength;
    return scheme;
}

bool HasFeedback(int op) {
    return op == 1 || op == 5;
}

// What each part covers, arrowheads and the "out" label included.
QRectF FeedbackBounds(const QRectF& box) {
    return QRectF(box.right(), box.top() - 1, 7, 10);
}
QRectF OutLabelBounds(const Scheme& s) {
    return QRectF(s.busRight - 22, s.busY - 11, 22, 10);
}
QRectF Bounds(const Scheme& s) {
    QRectF bounds(QPointF(s.busLeft, s.busY - 2), QPointF(s.busRight, s.busY + 2));
    for (const Box& b : s.boxes) {
        bounds |= b.rect;
        if (HasFeedback(b.op)) bounds |= FeedbackBounds(b.rect);
    }
    return bounds | OutLabelBounds(s);
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

void DrawBox(QPainter& p, const Box& box, double busY) {
    p.setBrush(QColor(230, 236, 246));
    p.drawRect(box.rect);
    p.drawText(box.rect, Qt::AlignCenter, QString::number(box.op));
    // A modulator feeds the box below it; a carrier feeds the output sum.
    const double cx = box.rect.center().x();
    const double end = box.lastInColumn ? busY : box.rect.bottom() + kRowPitch - kBoxHeight;
    p.drawLine(QPointF(cx, box.rect.bottom()), QPointF(cx, end));
    if (HasFeedback(box.op)) DrawFeedback(p, box.rect);
}

QFont PictureFont(int pixels, bool bold) {
    QFont font("Sans Serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The same drawing at every scale: a line one pixel wide at scale 1 is
// `scale` pixels wide, and stays on whole pixels.
QImage Draw(int index, int scale) {
    QImage image(kWidth * scale, kHeight * scale, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    p.setPen(QPen(Qt::black, 1));

    // Centred in the picture, on whole pixels plus a half so that the
    // one-pixel lines stay sharp.
    const Scheme scheme = Lay(index);
    const QRectF bounds = Bounds(scheme);
    p.translate(std::floor((kWidth - bounds.width()) / 2 - bounds.left()) + 0.5,
                std::floor((kHeight - bounds.height()) / 2 - bounds.top()) + 0.5);

    p.setFont(PictureFont(9, true));
    for (const Box& box : scheme.boxes)
        DrawBox(p, box, scheme.busY);
    p.drawLine(QPointF(scheme.busLeft, scheme.busY), QPointF(scheme.busRight - 2, scheme.busY));
    DrawArrowHead(p, QPointF(scheme.busRight, scheme.busY), QPointF(1, 0));
    p.setFont(PictureFont(8, false));
    p.drawText(OutLabelBounds(scheme), Qt::AlignRight | Qt::AlignBottom, "out");
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
    for (int index = 0; index < 8; ++index)
        for (const int scale : {1, 2, 3}) {
            const std::string path = std::string(argv[1]) + "/cnt" + std::to_string(index) +
                                     (scale > 1 ? "@" + std::to_string(scale) + "x" : "") + ".jpg";
            if (!SaveJpeg(Draw(index, scale), path)) {
                std::fprintf(stderr, "could not write %s\n", path.c_str());
                return 1;
            }
        }
    return 0;
}

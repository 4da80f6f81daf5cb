// How the windows answer the mouse and keys, and the pictures they show.
#include "mainwindow_support.h"

#include "ui/opframe.h"
#include "ui/toolkit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// Where the thumb stands on the screen for a value: growing values go right
// on a horizontal bar, up on a vertical one, unless the bar is inverted.
int ScreenStep(const QSlider& bar, int valueChange) {
    const int sign = bar.invertedAppearance() ? -1 : 1;
    return bar.orientation() == Qt::Horizontal ? sign * valueChange : -sign * valueChange;
}

TEST(TrackBars, ArrowKeysMoveEveryThumbTheArrowsWay) {
    Started s;
    TFormMain& w = *s.form;
    const auto bars = w.findChildren<QSlider*>();
    ASSERT_EQ(bars.size(), 2 + 6 * 5);
    for (QSlider* bar : bars) {
        const int middle = (bar->minimum() + bar->maximum()) / 2;
        struct Press {
            Qt::Key key;
            const char* name;
            int axisWay;  // along the bar: -1 left or up, +1 right or down, 0 across
            int valueWay; // Right raises and Left lowers the value on every bar
        };
        const bool horizontal = bar->orientation() == Qt::Horizontal;
        const Press presses[] = {{Qt::Key_Left, "Left", horizontal ? -1 : 0, -1},
                                 {Qt::Key_Right, "Right", horizontal ? 1 : 0, 1},
                                 {Qt::Key_Up, "Up", horizontal ? 0 : -1, 0},
                                 {Qt::Key_Down, "Down", horizontal ? 0 : 1, 0}};
        for (const Press& press : presses) {
            bar->setValue(middle);
            QTest::keyClick(bar, press.key);
            const int change = bar->value() - middle;
            const std::string what = bar->objectName().toStdString() + " key " + press.name;
            if (press.axisWay != 0) {
                EXPECT_EQ(ScreenStep(*bar, change), press.axisWay) << what;
            }
            if (press.valueWay != 0) {
                EXPECT_EQ(change, press.valueWay) << what;
            }
        }
    }
}

// The tick strip beside the groove: the bar's left side (vertical bars) or
// top (horizontal ones), clear of the thumb.
QImage TickStrip(QSlider* bar) {
    const QImage image = bar->grab().toImage();
    return bar->orientation() == Qt::Vertical ? image.copy(0, 0, 6, image.height())
                                              : image.copy(0, 0, image.width(), 6);
}

TEST(TrackBars, TickMarksKeepTheirColourWithFocusOrMouse) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (QSlider* bar : {w.OperatorFrames[0]->TrackBarAttack, w.OperatorFrames[0]->TrackBarVolume,
                         w.TrackBarVolume}) {
        w.ButtonKbd->setFocus();
        const QImage idle = TickStrip(bar);
        bar->setFocus();
        ASSERT_TRUE(bar->hasFocus());
        EXPECT_EQ(TickStrip(bar), idle) << bar->objectName().toStdString() << " with focus";
        bar->setAttribute(Qt::WA_UnderMouse, true);
        EXPECT_EQ(TickStrip(bar), idle) << bar->objectName().toStdString() << " under the mouse";
        bar->setAttribute(Qt::WA_UnderMouse, false);
    }
}

TEST(Frame, RightClickOnAListOpensTheFramesMenuNotTheList) {
    Started s;
    TFormMain& w = *s.form;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TFrameOp& frame = *w.OperatorFrames[1];
    for (QComboBox* list :
         {frame.ComboBoxWS, frame.ComboBoxLevelScaling, frame.ComboBoxFreqMultiplier}) {
        const QPoint inside = list->rect().center();
        QTest::mousePress(list, Qt::RightButton, {}, inside);
        QTest::mouseRelease(list, Qt::RightButton, {}, inside);
        EXPECT_FALSE(list->view()->isVisible()) << list->objectName().toStdString();

        QWidget* opened = nullptr;
        QTimer::singleShot(0, [&opened] {
            opened = QApplication::activePopupWidget();
            if (opened) opened->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, inside, list->mapToGlobal(inside));
        QApplication::sendEvent(list, &event);
        EXPECT_EQ(opened, frame.PopupMenu) << list->objectName().toStdString();
        // Copy, Paste, the separator and Clear.
        EXPECT_EQ(frame.PopupMenu->actions().size(), 4);
    }
}

// The connection pictures, as drawn for one, two and three device pixels
// a point: the drawing centred, nothing touching the edge.
TEST(ConnectionPictures, EachDrawingIsCentredAndWhollyInside) {
    for (int index = 0; index < 8; ++index)
        for (const int scale : {1, 2, 3}) {
            const std::string path = ScaledPicturePath(
                VI801_SOURCE_DIR "/data/img/cnt" + std::to_string(index) + ".jpg", scale);
            std::ifstream file(path, std::ios::binary);
            std::ostringstream bytes;
            bytes << file.rdbuf();
            const QImage picture = DecodeJpeg(bytes.str(), path);
            ASSERT_EQ(picture.size(), QSize(146, 66) * scale) << path;
            QRect ink;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    if (qGray(picture.pixel(x, y)) < 160) ink |= QRect(x, y, 1, 1);
            const int left = ink.left(), right = picture.width() - 1 - ink.right();
            const int top = ink.top(), bottom = picture.height() - 1 - ink.bottom();
            EXPECT_GE(std::min({left, right, top, bottom}), scale) << path;
            EXPECT_LE(std::abs(left - right), 2 * scale) << path;
            EXPECT_LE(std::abs(top - bottom), 2 * scale) << path;
        }
}

} // namespace

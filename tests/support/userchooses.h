#pragma once
// The user picks an item of a list with the keyboard, which is what runs
// the list's handler.
#include <QComboBox>
#include <QTest>
#include <gtest/gtest.h>

inline void UserChooses(QComboBox* box, int index) {
    box->setCurrentIndex(index > 0 ? index - 1 : 1);
    QTest::keyClick(box, index > 0 ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(box->currentIndex(), index);
}

#pragma once
// Every control carries an integer Tag; the shared handlers of the six
// operator frames find their operator through it.
#include <QObject>
#include <QVariant>

inline void SetTag(QObject* control, int tag) {
    control->setProperty("Tag", tag);
}
inline int TagOf(const QObject* control) {
    return control->property("Tag").toInt();
}

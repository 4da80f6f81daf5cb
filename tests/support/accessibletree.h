#pragma once
// The controls of a window that a screen reader lets its user operate,
// found as it finds them: by a walk of the window's accessibility tree.
#include <QAccessible>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <set>
#include <vector>

struct AccessibleControl {
    QString name;
    QString description;
    QString object; // the object name, for messages
};

inline bool Operable(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Slider:
    case QAccessible::ComboBox:
    case QAccessible::CheckBox:
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::SpinBox:
    case QAccessible::EditableText:
    case QAccessible::RadioButton:
    case QAccessible::Table:
        return true;
    default:
        return false;
    }
}

// A control's own parts (a list's drop-down and typing line, a table's
// cells) are read with it: the walk does not go into a control.
inline void CollectOperable(QAccessibleInterface* node, std::vector<AccessibleControl>& found) {
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child) continue;
        if (!Operable(child->role())) {
            CollectOperable(child, found);
            continue;
        }
        found.push_back({child->text(QAccessible::Name), child->text(QAccessible::Description),
                         child->object() ? child->object()->objectName() : QString()});
    }
}

inline std::vector<AccessibleControl> OperableControls(QWidget* window) {
    std::vector<AccessibleControl> found;
    if (QAccessibleInterface* top = QAccessible::queryAccessibleInterface(window))
        CollectOperable(top, found);
    return found;
}

// Every control of the window has a name and a description, and no two
// share a name; count is how many the window has.
inline void ExpectEachNamedOnce(QWidget* window, size_t count) {
    SCOPED_TRACE(window->objectName().toStdString());
    const std::vector<AccessibleControl> controls = OperableControls(window);
    EXPECT_EQ(controls.size(), count);
    std::set<QString> names;
    for (const AccessibleControl& c : controls) {
        EXPECT_FALSE(c.name.isEmpty()) << c.object.toStdString();
        EXPECT_FALSE(c.description.isEmpty()) << c.object.toStdString();
        EXPECT_TRUE(names.insert(c.name).second) << "twice: " << c.name.toStdString();
    }
}

#include "ui/accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace {

// As Qt's own list interface, but for its name: Qt reads a list's current
// item as its name on Linux, so that six waveform lists all read "Sine".
class AccessibleList : public QAccessibleWidget {
public:
    explicit AccessibleList(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return Box()->currentText();
        return QAccessibleWidget::text(t);
    }

    // Its drop-down, and the line it is typed in.
    int childCount() const override { return Box()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        QWidget* part = index == 0   ? static_cast<QWidget*>(Box()->view())
                        : index == 1 ? Box()->lineEdit()
                                     : nullptr;
        return part ? QAccessible::queryAccessibleInterface(part) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == Box()->view()) return 0;
        if (Box()->lineEdit() && child->object() == Box()->lineEdit()) return 1;
        return -1;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Box()->view()->isVisible();
        state.editable = Box()->isEditable();
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (Box()->view()->isVisible())
            Box()->hidePopup();
        else
            Box()->showPopup();
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

// Factories installed later are asked first, so this one wins over Qt's.
QAccessibleInterface* ListFactory(const QString& key, QObject* object) {
    if (key != QLatin1String("QComboBox")) return nullptr;
    auto* box = qobject_cast<QComboBox*>(object);
    return box ? new AccessibleList(box) : nullptr;
}

} // namespace

void InstallAccessibleLists() {
    QAccessible::installFactory(ListFactory);
}

void SetAccessible(QWidget* control, const std::string& name, const std::string& description) {
    const QString shownName = QString::fromStdString(name);
    const QString shownDescription = QString::fromStdString(description);
    control->setAccessibleName(shownName);
    control->setAccessibleDescription(shownDescription);
    if (auto* box = qobject_cast<QComboBox*>(control); box && box->lineEdit()) {
        box->lineEdit()->setAccessibleName(shownName);
        box->lineEdit()->setAccessibleDescription(shownDescription);
    }
}

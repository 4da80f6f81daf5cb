#include "ui/presetnames.h"

#include <QByteArray>
#include <QComboBox>
#include <QStringList>

namespace {
constexpr int kNameRole = Qt::UserRole;
}

void SetPresetItems(QComboBox* box, const std::vector<std::string>& names) {
    box->clear();
    for (const std::string& name : names)
        box->addItem(QString::fromStdString(name),
                     QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

std::string PresetItemName(const QComboBox* box, int index) {
    const QVariant name = box->itemData(index, kNameRole);
    if (!name.isValid()) return box->itemText(index).toStdString();
    return name.toByteArray().toStdString();
}

std::string PresetNameOf(const QComboBox* box) {
    const int index = box->currentIndex();
    const QString text = box->currentText();
    if (index >= 0 && box->itemText(index) == text) return PresetItemName(box, index);
    return text.toStdString();
}

std::vector<std::string> PresetItemNames(const QComboBox* box) {
    std::vector<std::string> names;
    for (int i = 0; i < box->count(); ++i)
        names.push_back(PresetItemName(box, i));
    return names;
}

#pragma once
// The preset list shows each name as text and keeps the name itself, the
// bytes of its file name: a name that is no UTF-8 is shown with a
// replacement character and still loads its own file, and two names shown
// alike stay two files.
#include <string>
#include <vector>

class QComboBox;

// The box's items become the names, in order.
void SetPresetItems(QComboBox* box, const std::vector<std::string>& names);

// The name item `index` stands for.
std::string PresetItemName(const QComboBox* box, int index);

// What the box's text names: the selected item's own name while the text
// shows that item, otherwise the text as typed.
std::string PresetNameOf(const QComboBox* box);

// Every item's name, in order.
std::vector<std::string> PresetItemNames(const QComboBox* box);

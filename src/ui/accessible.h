#pragma once
// What screen readers are told of the controls: names and descriptions set
// in one call, and lists named as they were named on every platform.
#include <string>

class QWidget;

// Lists take the name they are given, or their label's, with their item as
// their value; Qt on Linux names them by the item alone. The application
// installs it once, before any window is built.
void InstallAccessibleLists();

// An editable list's typing line is named as the list.
void SetAccessible(QWidget* control, const std::string& name, const std::string& description);
template <class Text> void SetAccessible(QWidget* control, const Text& text) {
    SetAccessible(control, text.name, text.description);
}

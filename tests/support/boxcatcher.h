#pragma once
// Message boxes caught instead of shown, for tests on the application.
#include "ui/toolkit.h"

#include <vector>

struct CaughtBox {
    QMessageBox::Icon icon;
    QString text, caption;
};

// Collects the boxes that would have been shown while it lives.
class BoxCatcher {
public:
    BoxCatcher() {
        previous_ = App().SetMessageBoxHook(
            [this](QMessageBox::Icon icon, const QString& text, const QString& caption) {
                boxes.push_back({icon, text, caption});
            });
    }
    ~BoxCatcher() { App().SetMessageBoxHook(previous_); }
    BoxCatcher(const BoxCatcher&) = delete;
    BoxCatcher& operator=(const BoxCatcher&) = delete;

    std::vector<CaughtBox> boxes;

private:
    static Application& App() { return *dynamic_cast<Application*>(QCoreApplication::instance()); }
    MessageBoxHook previous_;
};

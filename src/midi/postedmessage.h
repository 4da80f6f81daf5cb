#pragma once
// A posted message: number and two 32-bit parameters, delivered to its
// target one at a time in the order posted, on the target's thread. Needs
// only Qt Core, so MIDI input can post without knowing any window.
#include <QEvent>

#include <cstdint>

class QObject;

class PostedMessage : public QEvent {
public:
    PostedMessage(uint32_t message, uint32_t wparam, uint32_t lparam);
    static QEvent::Type EventType();

    const uint32_t Message;
    const uint32_t WParam;
    const uint32_t LParam;
};

// Safe from any thread. A message to no target is lost without notice.
void PostMessage(QObject* target, uint32_t message, uint32_t wparam, uint32_t lparam);

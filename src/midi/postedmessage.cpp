#include "midi/postedmessage.h"

#include <QCoreApplication>

PostedMessage::PostedMessage(uint32_t message, uint32_t wparam, uint32_t lparam)
    : QEvent(EventType()), Message(message), WParam(wparam), LParam(lparam) {}

QEvent::Type PostedMessage::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMessage(QObject* target, uint32_t message, uint32_t wparam, uint32_t lparam) {
    if (!target) return;
    // postEvent is thread-safe and keeps the order of posting.
    QCoreApplication::postEvent(target, new PostedMessage(message, wparam, lparam));
}

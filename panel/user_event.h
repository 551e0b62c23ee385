#pragma once

// The event that tells the main window a headset is ready.

#include <QEvent>

namespace panel {

constexpr int kDeviceReadyCode = 0x881;

class UserEvent : public QEvent {
public:
    explicit UserEvent(int code) : QEvent(QEvent::User), code(code) {}
    int code;
};

} // namespace panel

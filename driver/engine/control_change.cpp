#include "driver/engine/control_change.h"

void NotifyControlChange(kernel::CallbackObject& callback, std::uint32_t nodeId) {
    ControlChangeMessage message = {ControlChangeKind, 1, nodeId, 0};
    kernel::notifyCallback(callback, &message, nullptr);
}

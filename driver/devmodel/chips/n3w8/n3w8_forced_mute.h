// The mute of the one N3W8 analog unit the model's worker can force on: the
// device then receives the user's mute OR-ed with the forced flag.
#pragma once

#include "driver/common/interface_ids.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

class IN3W8ForcedMute : public kernel::IUnknown {
public:
    // Stores the forced flag and sends the unit's last requested mute again.
    virtual kernel::NTSTATUS SetForcedMute(bool forced) = 0;

protected:
    ~IN3W8ForcedMute() = default;
};

// The base of the items with an input table (selector and mixer items): the
// id list holds one entry per input of the unit, zero until the unit's
// sources are linked, and is then filled whole.
#pragma once

#include "driver/engine/audio_node.h"

#include <cstdint>

class CInputTableItem : public CAudioNode {
public:
    using CAudioNode::CAudioNode;

    // A table of that many zero entries.
    kernel::NTSTATUS AllocateInputs(std::uint32_t inputs) { return SetZeroIdList(inputs); }
    // Fills the table; refused unless the count is the number of inputs.
    kernel::NTSTATUS SetInputs(std::uint32_t count, const std::uint32_t* ids) {
        if (ids == nullptr || count == 0 || count != GetIdCount())
            return kernel::STATUS_INVALID_PARAMETER;
        return SetIdList(count, ids);
    }
};

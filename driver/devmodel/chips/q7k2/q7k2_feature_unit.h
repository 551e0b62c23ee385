// The Q7K2 model's feature unit: a release-1 feature unit whose standard
// controls (selectors 1 to 10) are built as usual under the model's tag, and
// whose vendor effect controls become the model's effect units: 139 the
// reverberator, 140 the headphone virtualizer, numbered after the standard
// controls. Each vendor control is one item, never also a plain effect
// control.
#pragma once

#include "driver/devmodel/uac1_feature_unit.h"

class CQ7K2Unit;

class CQ7K2FeatureUnit : public CUac1FeatureUnit {
public:
    using CUac1FeatureUnit::CUac1FeatureUnit;

    // The standard controls, then the units. A unit the pool refuses is
    // left out; a unit whose Init fails ends the building with its status.
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;

private:
    // The unit, once it is one of this unit's items, in `listed` (the item
    // list keeps it).
    template <class Unit>
    kernel::NTSTATUS CreateUnit(CAudioHal& hal, std::uint8_t selector, CQ7K2Unit** listed);
};

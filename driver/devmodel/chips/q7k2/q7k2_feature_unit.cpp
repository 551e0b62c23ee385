#include "driver/devmodel/chips/q7k2/q7k2_feature_unit.h"

#include "driver/devmodel/chips/q7k2/q7k2_effect_unit.h"
#include "driver/devmodel/chips/q7k2/q7k2_virtualizer_unit.h"

namespace {

constexpr std::uint8_t StandardOrder[] = {1, 2, 3, 4, 5, 7, 10};

} // namespace

template <class Unit>
kernel::NTSTATUS CQ7K2FeatureUnit::CreateUnit(CAudioHal& hal, std::uint8_t selector,
                                              CQ7K2Unit** listed) {
    Unit* unit = nullptr;
    if (!kernel::succeeded(CreateDriverObject<Unit>(&unit, nullptr, kernel::PoolType::NonPagedNx,
                                                    Q7K2Tag, hal.GetChildCount())))
        return kernel::STATUS_SUCCESS;
    kernel::NTSTATUS status =
        unit->Init(static_cast<IFeatureUnitSwitch*>(this), selector, hal.GetDeviceObject());
    if (kernel::succeeded(status)) status = hal.AddChildObject(static_cast<IAudioNode*>(unit));
    if (kernel::succeeded(status)) status = AddItem(static_cast<IAudioNode*>(unit));
    if (kernel::succeeded(status)) *listed = unit;
    static_cast<IAudioNode*>(unit)->Release();
    return status;
}

kernel::NTSTATUS CQ7K2FeatureUnit::CreateControls(CAudioHal* hal) {
    kernel::NTSTATUS status = CreateSourcedControls(hal, StandardOrder, Q7K2Tag);
    if (!kernel::succeeded(status)) return status;
    CQ7K2Unit* reverberator = nullptr;
    CQ7K2Unit* virtualizer = nullptr;
    if (HasControl(feature_selector::reverberator))
        status = CreateUnit<CQ7K2EffectUnit>(*hal, feature_selector::reverberator, &reverberator);
    if (kernel::succeeded(status) && HasControl(feature_selector::virtualizer))
        status =
            CreateUnit<CQ7K2VirtualizerUnit>(*hal, feature_selector::virtualizer, &virtualizer);
    // The items are chained last made first and a render stream collects
    // them from its output back, so its chain runs the reverberator, then
    // the virtualizer, which folds.
    if (reverberator != nullptr && virtualizer != nullptr) reverberator->SetFoldedLater();
    return status;
}

// The terminal-type selection of an output terminal: which of its endpoint
// types (one to five codes, the first current at set-up) the terminal plays
// as. Selecting a different listed code marks the item changed and tells
// every follower (new code, 0), stopping at the first that fails.
#pragma once

#include "driver/engine/audio_node.h"
#include "driver/engine/reference_list.h"
#include "driver/engine/stream_binding.h"
#include "driver/engine/terminal_item.h"

#include <cstdint>

class ITerminalTypeSelection : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS GetCurrentType(std::uint32_t* code) = 0;
    virtual kernel::NTSTATUS GetTypeCount(std::uint32_t* count) = 0;
    // Refused when the room (in codes) is below the count.
    virtual kernel::NTSTATUS GetTypes(std::uint32_t room, std::uint32_t* codes) = 0;
    virtual kernel::NTSTATUS SelectType(std::uint32_t code) = 0;
    virtual kernel::NTSTATUS GetChanged(std::uint32_t* changed) = 0;
    virtual kernel::NTSTATUS ClearChanged() = 0;
    // The follower is kept with a reference.
    virtual kernel::NTSTATUS AddFollower(IStreamBinding* follower) = 0;

protected:
    ~ITerminalTypeSelection() = default;
};

class CTerminalTypeItem : public CForwardingUnknown<CAudioNode, ITerminalTypeSelection> {
public:
    CTerminalTypeItem(kernel::IUnknown* outer, std::uint32_t id)
        : CForwardingUnknown(outer, id, item_type::terminalTypeSelection) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS GetCurrentType(std::uint32_t* code) override {
        return ReportValue(m_Codes.Current(), code);
    }
    kernel::NTSTATUS GetTypeCount(std::uint32_t* count) override {
        return ReportValue(m_Codes.Count(), count);
    }
    kernel::NTSTATUS GetTypes(std::uint32_t room, std::uint32_t* codes) override {
        return m_Codes.Copy(room, codes);
    }
    kernel::NTSTATUS SelectType(std::uint32_t code) override;
    kernel::NTSTATUS GetChanged(std::uint32_t* changed) override {
        return ReportValue(m_ulChanged, changed);
    }
    kernel::NTSTATUS ClearChanged() override {
        m_ulChanged = 0;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS AddFollower(IStreamBinding* follower) override;

    // One to five codes; the first becomes current.
    kernel::NTSTATUS SetUpTypes(std::uint32_t count, const std::uint32_t* codes) {
        return m_Codes.Store(count, codes);
    }

protected:
    // The steps of SelectType for a subclass that acts between them: a
    // listed code made current without marking a change; made current and
    // marked changed; the followers told (new code, value).
    kernel::NTSTATUS SetCurrentType(std::uint32_t code) { return m_Codes.Select(code); }
    kernel::NTSTATUS MarkSelected(std::uint32_t code);
    void TellFollowers(std::uint32_t code, std::uint32_t value);

private:
    CTerminalCodeList m_Codes;
    std::uint32_t m_ulChanged = 0;
    CReferenceList<IStreamBinding> m_Followers;
};

#include "driver/devmodel/terminal_controls.h"
#include "driver/devmodel/uac_entity.h"
#include "driver/tests/engine_test_doubles.h"
#include "entity_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace devmodel_test;

JackDescription Jack(std::uint32_t color, std::uint32_t connected) {
    return {3, color, 1, 1, 0, 0, 0, connected, 0};
}

// A terminal entity with a jack list per endpoint type.
class CFakeTerminal : public CForwardingUnknown<CUacEntity, ITerminalInfo> {
public:
    using CForwardingUnknown::CForwardingUnknown;
    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CUacEntity::NonDelegatingQueryInterface(id, object),
                               static_cast<ITerminalInfo*>(this), id, IID_ITerminalInfo, object);
    }
    NTSTATUS GetEndpointType(std::uint32_t* code) override {
        *code = current;
        return STATUS_SUCCESS;
    }
    NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override {
        *count = static_cast<std::uint32_t>(codes.size());
        return STATUS_SUCCESS;
    }
    NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* out) override {
        if (room < codes.size()) return kernel::STATUS_INVALID_PARAMETER;
        std::copy(codes.begin(), codes.end(), out);
        return STATUS_SUCCESS;
    }
    NTSTATUS SelectEndpointType(std::uint32_t code) override {
        current = code;
        return STATUS_SUCCESS;
    }
    NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override {
        if (typeIndex >= jacks.size()) return kernel::STATUS_INVALID_PARAMETER;
        *count = static_cast<std::uint32_t>(jacks[typeIndex].size());
        return STATUS_SUCCESS;
    }
    // Answers with its records, or only the first `answered` bytes of them.
    NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                 std::uint32_t typeIndex) override {
        if (!kernel::succeeded(jackStatus)) return jackStatus;
        const std::vector<JackDescription>& list = jacks[typeIndex];
        std::size_t size = std::min<std::size_t>(bytes, list.size() * sizeof(JackDescription));
        size = std::min<std::size_t>(size, answered);
        std::memcpy(buffer, list.data(), size);
        return STATUS_SUCCESS;
    }
    NTSTATUS GetTerminalRecord(EndpointInfoRecord*) override { return STATUS_SUCCESS; }

    std::vector<std::uint32_t> codes = {0x0301};
    std::uint32_t current = 0x0301;
    std::vector<std::vector<JackDescription>> jacks = {{Jack(0xFF0000, 1)}};
    NTSTATUS jackStatus = STATUS_SUCCESS;
    std::size_t answered = SIZE_MAX;
};

const EndpointInfoRecord Record = {{1, 2, 3, 4, 5, 6, 7, 8}};

std::vector<JackDescription> JacksOf(ITerminalInfo& item, std::uint32_t typeIndex) {
    std::uint32_t count = 0;
    EXPECT_EQ(item.GetJackCount(&count, typeIndex), STATUS_SUCCESS);
    std::vector<JackDescription> out(count);
    if (count != 0) {
        EXPECT_EQ(item.GetJackDescriptions(count * sizeof(JackDescription), out.data(), typeIndex),
                  STATUS_SUCCESS);
    }
    return out;
}

bool Same(const std::vector<JackDescription>& a, const std::vector<JackDescription>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

const std::vector<JackDescription> TwoJacks = {Jack(0x00FF00, 1), Jack(0x0000FF, 0)};

// Binds an input jack control (typeIndex 0) or an output type control of the
// index; it takes the code of its type, that type's jacks and the record.
TEST(TerminalControls, BindTakesCodeJacksAndRecord) {
    struct Case {
        const char* name;
        bool output;
        std::vector<std::uint32_t> codes;
        std::vector<std::vector<JackDescription>> jacks;
        bool refuseJacks; // the jack read stalls
        std::uint32_t typeIndex;
        NTSTATUS expected; // on success the code is the type index's
    };
    const std::vector<std::vector<JackDescription>> perType = {{Jack(1, 1)}, TwoJacks};
    const std::vector<std::uint32_t> six = {1, 2, 3, 4, 5, 6}, two = {0x0301, 0x0302};
    const NTSTATUS Ok = STATUS_SUCCESS, NoRoom = STATUS_INSUFFICIENT_RESOURCES;
    const Case cases[] = {
        {"input: one type two jacks", false, {0x0402}, {TwoJacks}, false, 0, Ok},
        {"input: no jacks", false, {0x0402}, {{}}, false, 0, Ok},
        {"input: no types", false, {}, {TwoJacks}, false, 0, NoRoom},
        {"input: six types", false, six, {TwoJacks}, false, 0, NoRoom},
        {"input: jack read refused", false, {0x0402}, {TwoJacks}, true, 0, DeviceStall},
        {"output: first type", true, two, perType, false, 0, Ok},
        {"output: second type", true, two, perType, false, 1, Ok},
        {"output: index past the types", true, {0x0301}, perType, false, 1, NoRoom},
        {"output: six types", true, six, perType, false, 0, NoRoom},
        {"output: jack read refused", true, two, perType, true, 1, DeviceStall},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CFakeTerminal> terminal(Make<CFakeTerminal>());
        terminal->codes = c.codes;
        terminal->current = c.codes.empty() ? 0 : c.codes[0];
        terminal->jacks = c.jacks;
        terminal->jackStatus = c.refuseJacks ? DeviceStall : STATUS_SUCCESS;
        auto* face = static_cast<ITerminalInfo*>(terminal.get());
        Held<CUacJackControl> control(
            c.output ? static_cast<CUacJackControl*>(Make<CUacOutputTypeControl>(8u, c.typeIndex))
                     : Make<CUacInputJackControl>(7u));
        const NTSTATUS status =
            c.output ? static_cast<CUacOutputTypeControl*>(control.get())->Bind(face, Record)
                     : static_cast<CUacInputJackControl*>(control.get())->Bind(face, Record);
        ASSERT_EQ(status, c.expected);
        if (!kernel::succeeded(c.expected)) continue;
        EXPECT_EQ(control->GetType(),
                  c.output ? item_type::outputTerminal : item_type::inputTerminal);
        std::uint32_t code = 0;
        EXPECT_EQ(control->GetEndpointType(&code), STATUS_SUCCESS);
        EXPECT_EQ(code, c.codes[c.typeIndex]);
        EXPECT_TRUE(Same(JacksOf(*control.get(), c.typeIndex), c.jacks[c.typeIndex]));
        EndpointInfoRecord record = {};
        EXPECT_EQ(control->GetTerminalRecord(&record), STATUS_SUCCESS);
        EXPECT_EQ(std::memcmp(&record, &Record, sizeof record), 0);
        EXPECT_EQ(control->GetIdCount(), 0u);
    }
}

// A terminal that answers fewer bytes than its count promises leaves the
// missing records zero, never stale pool contents.
TEST(TerminalControls, ShortJackAnswerLeavesTheRestEmpty) {
    Held<CFakeTerminal> terminal(Make<CFakeTerminal>());
    terminal->jacks = {TwoJacks};
    terminal->answered = sizeof(JackDescription);
    Held<CUacInputJackControl> control(Make<CUacInputJackControl>(7u));
    ASSERT_EQ(control->Bind(static_cast<ITerminalInfo*>(terminal.get()), Record), STATUS_SUCCESS);
    const std::vector<JackDescription> read = JacksOf(*control.get(), 0);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(Same({read[0]}, {TwoJacks[0]}));
    EXPECT_TRUE(Same({read[1]}, {JackDescription{}}));
}

TEST(TerminalControls, ReReadFollowsTheDevice) {
    struct Case {
        const char* name;
        std::vector<JackDescription> after;
        NTSTATUS jackStatus;
        std::uint32_t codeAfter;
        NTSTATUS expected;
        std::vector<JackDescription> held;
    };
    const std::vector<JackDescription> three = {Jack(1, 1), Jack(2, 1), Jack(3, 1)};
    const std::vector<JackDescription> two = {Jack(4, 0), Jack(5, 1)};
    const Case cases[] = {
        {"three jacks become two", two, STATUS_SUCCESS, 0x0603, STATUS_SUCCESS, two},
        {"all jacks gone", {}, STATUS_SUCCESS, 0x0603, STATUS_SUCCESS, {}},
        {"failed read keeps the records", two, DeviceStall, 0x0603, DeviceStall, three},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Held<CFakeTerminal> terminal(Make<CFakeTerminal>());
        terminal->jacks = {three};
        Held<CUacInputJackControl> control(Make<CUacInputJackControl>(7u));
        ASSERT_EQ(control->Bind(static_cast<ITerminalInfo*>(terminal.get()), Record),
                  STATUS_SUCCESS);
        terminal->jacks = {c.after};
        terminal->jackStatus = c.jackStatus;
        terminal->current = c.codeAfter;
        EXPECT_EQ(control->ReadFromDevice(), c.expected);
        terminal->jackStatus = STATUS_SUCCESS;
        EXPECT_TRUE(Same(JacksOf(*control.get(), 0), c.held));
        std::uint32_t code = 0;
        EXPECT_EQ(control->GetEndpointType(&code), STATUS_SUCCESS);
        EXPECT_EQ(code, c.codeAfter);
    }
}

TEST(TerminalControls, AllocationFailuresLeaveNothingBehind) {
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        Held<CFakeTerminal> terminal(Make<CFakeTerminal>());
        terminal->codes = {0x0301, 0x0302};
        terminal->jacks = {{Jack(1, 1)}, TwoJacks};
        Held<CUacOutputTypeControl> control(Make<CUacOutputTypeControl>(8u, 1u));
        const std::size_t before = kernel::poolLiveBlocks(TerminalRecordsTag);
        const std::uint64_t start = kernel::poolRequestCount();
        kernel::failPoolRequest(n);
        const NTSTATUS status = control->Bind(static_cast<ITerminalInfo*>(terminal.get()), Record);
        const bool exhausted = kernel::poolRequestCount() - start < n;
        kernel::clearPoolFaults();
        EXPECT_EQ(kernel::poolLiveBlocks(TerminalRecordsTag), before);
        if (exhausted) {
            EXPECT_EQ(status, STATUS_SUCCESS);
            break;
        }
        EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES);
        std::uint32_t count = 9;
        EXPECT_EQ(control->GetJackCount(&count, 1), STATUS_SUCCESS);
        EXPECT_EQ(count, 0u);
    }
}

} // namespace

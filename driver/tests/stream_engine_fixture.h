// Stream engines for the tests, and the terminals on their paths: real
// terminal items and terminal-type selections that carry the codes and jack
// records a test gives them.
#pragma once

#include "driver/engine/stream_engine_base.h"
#include "driver/engine/terminal_item.h"
#include "driver/engine/terminal_type_item.h"
#include "engine_test_doubles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace engine_test {

// A terminal on an endpoint's path: its kind (input, output or terminal-type
// selection), its current code and, for the terminal items, its jacks'
// connected bytes (none: no jack records).
struct TerminalSpec {
    std::uint32_t kind;
    std::uint32_t code;
    std::vector<std::uint32_t> jacksConnected = {};
};

// Owns the terminals it made (the engine adds its own references).
class CTerminalSet {
public:
    CAudioNode* Add(std::uint32_t id, const TerminalSpec& spec) {
        CAudioNode* node = spec.kind == item_type::terminalTypeSelection
                               ? static_cast<CAudioNode*>(MakeSelection(id, spec.code))
                               : static_cast<CAudioNode*>(MakeTerminal(id, spec));
        if (node != nullptr) m_Nodes.push_back(node);
        return node;
    }

private:
    static CTerminalTypeItem* MakeSelection(std::uint32_t id, std::uint32_t code) {
        CTerminalTypeItem* item = Make<CTerminalTypeItem>(id);
        EXPECT_EQ(item->SetUpTypes(1, &code), kernel::STATUS_SUCCESS);
        return item;
    }
    static CTerminalItem* MakeTerminal(std::uint32_t id, const TerminalSpec& spec) {
        CTerminalItem* item = Make<CTerminalItem>(id, spec.kind);
        if (spec.code != 0) {
            EXPECT_EQ(item->StoreCodes(1, &spec.code), kernel::STATUS_SUCCESS);
        }
        std::vector<JackDescription> jacks(spec.jacksConnected.size(), JackDescription{});
        for (std::size_t i = 0; i < jacks.size(); ++i)
            jacks[i].IsConnected = spec.jacksConnected[i];
        if (!jacks.empty()) {
            EXPECT_EQ(
                item->StoreJackRecords(static_cast<std::uint32_t>(jacks.size()), jacks.data()),
                kernel::STATUS_SUCCESS);
        }
        return item;
    }

    HeldList<CAudioNode> m_Nodes;
};

// An initialised engine of the direction with the terminals on its path
// (ids from 1 in order).
inline CStreamEngine* MakeEngine(std::uint32_t direction, CTerminalSet& terminals,
                                 const std::vector<TerminalSpec>& specs = {}) {
    CStreamEngine* engine = Make<CStreamEngine>(0u);
    EXPECT_EQ(engine->Init(direction), kernel::STATUS_SUCCESS);
    std::uint32_t id = 1;
    for (const TerminalSpec& spec : specs)
        EXPECT_EQ(engine->AddUniqueEntity(terminals.Add(id++, spec)), kernel::STATUS_SUCCESS);
    return engine;
}

inline constexpr std::uint32_t Render = 0;
inline constexpr std::uint32_t Capture = 1;

} // namespace engine_test

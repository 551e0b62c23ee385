#include "platform/kernel/pool.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/irql.h"
#include "platform/kernel/irql.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <unordered_map>

namespace kernel {
namespace {

// Fresh blocks are not zero: code that relies on zeroed memory must zero it.
constexpr unsigned char freshFill = 0xA5;

struct Ledger {
    std::mutex lock;
    std::unordered_map<const void*, PoolBlock> live;
    std::uint64_t serial = 0;
    // The counted fault: the thread it belongs to and how many of its
    // requests are left up to and including the one that fails (0: none).
    // A system thread named by its order of starts instead, when not 0.
    const void* failingThread = nullptr;
    std::uint64_t failingSystemThread = 0;
    std::uint64_t failCountdown = 0;
    std::set<PoolTag> failingTags;
    // Random faults: one request in randomOneIn (0: none), as the generator picks.
    std::uint32_t randomOneIn = 0;
    std::mt19937 random;
};

thread_local std::uint64_t threadRequests = 0;

Ledger& ledger() {
    // Never destroyed: the layer's detached threads may still free blocks
    // while the program ends.
    static Ledger* instance = new Ledger;
    return *instance;
}

bool knownType(PoolType type) {
    return type == PoolType::NonPaged || type == PoolType::Paged || type == PoolType::NonPagedNx;
}

bool injectedFailure(Ledger& l, PoolTag tag) {
    ++threadRequests;
    const bool counted = l.failingSystemThread != 0
                             ? l.failingSystemThread == detail::systemThreadOrdinal()
                             : l.failingThread == detail::currentThreadKey();
    if (l.failCountdown != 0 && counted && --l.failCountdown == 0) return true;
    if (l.randomOneIn != 0 && l.random() % l.randomOneIn == 0) return true;
    return l.failingTags.count(tag) != 0;
}

} // namespace

std::string poolTagText(PoolTag tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        if (c != '\0') text += c;
    }
    return text;
}

void* allocatePool(PoolType type, std::size_t bytes, PoolTag tag) {
    if (!check(knownType(type), "allocation from an unknown pool type")) return nullptr;
    if (!check(tag != 0, "allocation with a zero pool tag")) return nullptr;
    if (type == PoolType::Paged && !requireIrql(Irql::Apc, "paged pool request")) return nullptr;

    Ledger& l = ledger();
    {
        std::lock_guard guard(l.lock);
        if (injectedFailure(l, tag)) return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) return nullptr;
    std::memset(block, freshFill, bytes);

    std::lock_guard guard(l.lock);
    l.live.emplace(block, PoolBlock{block, type, tag, bytes, ++l.serial});
    return block;
}

namespace {

void release(void* block, const PoolTag* expectedTag) {
    if (!check(block != nullptr, "free of a null pool block")) return;
    Ledger& l = ledger();
    {
        std::lock_guard guard(l.lock);
        const auto found = l.live.find(block);
        if (!check(found != l.live.end(), "free of a block that is not a live pool block")) return;
        if (expectedTag != nullptr &&
            !check(found->second.tag == *expectedTag, "free with a tag the block does not carry"))
            return;
        l.live.erase(found);
    }
    std::free(block);
}

} // namespace

void freePool(void* block) { release(block, nullptr); }

void freePoolWithTag(void* block, PoolTag tag) { release(block, &tag); }

std::size_t poolLiveBlocks() {
    std::lock_guard guard(ledger().lock);
    return ledger().live.size();
}

std::size_t poolLiveBlocks(PoolTag tag) { return poolLiveBlocksTagged(tag).size(); }

std::size_t poolLiveBytes(PoolTag tag) {
    std::size_t bytes = 0;
    for (const PoolBlock& block : poolLiveBlocksTagged(tag)) bytes += block.bytes;
    return bytes;
}

std::uint64_t poolAllocationSerial() {
    std::lock_guard guard(ledger().lock);
    return ledger().serial;
}

std::uint64_t poolRequestCount() { return threadRequests; }

std::vector<PoolBlock> poolBlocksSince(std::uint64_t serial) {
    std::lock_guard guard(ledger().lock);
    std::map<std::uint64_t, PoolBlock> ordered;
    for (const auto& [address, block] : ledger().live)
        if (block.serial > serial) ordered.emplace(block.serial, block);
    std::vector<PoolBlock> blocks;
    for (const auto& [order, block] : ordered) blocks.push_back(block);
    return blocks;
}

std::vector<PoolBlock> poolLiveBlocksTagged(PoolTag tag) {
    std::vector<PoolBlock> blocks;
    for (const PoolBlock& block : poolBlocksSince(0))
        if (block.tag == tag) blocks.push_back(block);
    return blocks;
}

std::optional<PoolBlock> poolFindBlock(const void* address) {
    std::lock_guard guard(ledger().lock);
    const auto found = ledger().live.find(address);
    if (found == ledger().live.end()) return std::nullopt;
    return found->second;
}

void failPoolRequest(std::uint64_t n) {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failingThread = detail::currentThreadKey();
    l.failingSystemThread = 0;
    l.failCountdown = n;
}

void failPoolRequestOfSystemThread(std::uint64_t thread, std::uint64_t n) {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failingThread = nullptr;
    l.failingSystemThread = thread;
    l.failCountdown = thread != 0 ? n : 0;
}

bool poolRequestFaultPending() {
    std::lock_guard guard(ledger().lock);
    return ledger().failCountdown != 0;
}

void failPoolTag(PoolTag tag) {
    std::lock_guard guard(ledger().lock);
    ledger().failingTags.insert(tag);
}

void failPoolRequestsAtRandom(std::uint32_t seed, std::uint32_t oneIn) {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.random.seed(seed);
    l.randomOneIn = oneIn;
}

void clearPoolFaults() {
    Ledger& l = ledger();
    std::lock_guard guard(l.lock);
    l.failCountdown = 0;
    l.randomOneIn = 0;
    l.failingTags.clear();
}

} // namespace kernel

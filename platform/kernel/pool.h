// The kernel pool: every block carries a pool type and a four-character tag.
// A ledger keeps every live block, so tests can see what leaked and by whom,
// and faults can be injected so every out-of-memory path is reachable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kernel {

enum class PoolType : std::uint32_t {
    NonPaged = 0,
    Paged = 1,
    NonPagedNx = 512, // non-paged, no-execute: every driver object and list node
};

// The tag's first character is its lowest byte, as the tag reads in memory.
using PoolTag = std::uint32_t;

// "Lis" is the three letters followed by a zero byte.
template <std::size_t N> constexpr PoolTag poolTag(const char (&text)[N]) {
    static_assert(N >= 2 && N <= 5, "a pool tag has one to four characters");
    PoolTag tag = 0;
    for (std::size_t i = 0; i + 1 < N; ++i)
        tag |= static_cast<PoolTag>(static_cast<unsigned char>(text[i])) << (8 * i);
    return tag;
}

// The tag as text, zero bytes left out ("Lis").
std::string poolTagText(PoolTag tag);

// Null when the request cannot be met (or a fault was injected). Paged pool
// may be asked for below dispatch level only; a tag of 0 is refused.
void* allocatePool(PoolType type, std::size_t bytes, PoolTag tag);

// Frees a live block. A null, foreign or already freed block fails a check
// and is left alone.
void freePool(void* block);
// The same, and the block must carry the tag.
void freePoolWithTag(void* block, PoolTag tag);

struct PoolBlock {
    const void* address;
    PoolType type;
    PoolTag tag;
    std::size_t bytes;
    std::uint64_t serial; // order of allocation, from 1
};

// The ledger.
std::size_t poolLiveBlocks();
std::size_t poolLiveBlocks(PoolTag tag);
std::size_t poolLiveBytes(PoolTag tag);
std::uint64_t poolAllocationSerial(); // serial of the latest successful allocation
std::vector<PoolBlock> poolBlocksSince(std::uint64_t serial); // live blocks allocated after it
std::vector<PoolBlock> poolLiveBlocksTagged(PoolTag tag);
std::optional<PoolBlock> poolFindBlock(const void* address); // empty when not a live block

// Fault injection, as deterministic as the test that arms it while deferred
// calls, the work-item worker and system threads allocate beside it.
//
// Counted faults belong to a thread: failPoolRequest(n) fails the n-th
// request that the calling thread makes from now on (1 = its next one), and
// poolRequestCount() counts the calling thread's requests so far, failed ones
// included; requests of other threads neither count nor fail. So a test
// counts the requests of a run on its thread, then fails each in turn.
// (To fail a request of another thread, arm the fault on that thread.)
//
// Tag faults belong to no thread: failPoolTag(tag) fails every request with
// that tag, whichever thread makes it, until cleared.
void failPoolRequest(std::uint64_t n);
std::uint64_t poolRequestCount();
// The same fault for a system thread (thread.h) named by its place in the
// order of starts (systemThreadStarts): it fails that thread's n-th request,
// counted from its start when it has yet to start, from now on when it runs
// already. So a test can fail each request of the threads that a run starts
// (the system's calls into a driver, the driver's own threads), one run
// each: note the threads a run starts, then for each arm n = 1, 2, ... until
// the fault no longer fires.
void failPoolRequestOfSystemThread(std::uint64_t thread, std::uint64_t n);
// True while a counted fault is armed and its request has not come.
bool poolRequestFaultPending();
void failPoolTag(PoolTag tag);
// Random faults belong to no thread either: failPoolRequestsAtRandom(seed,
// oneIn) fails the requests, of any thread, that a generator seeded with
// seed picks, one in oneIn on average, until cleared (oneIn 0 stops them).
// The same seed picks the same requests of the same sequence of requests.
void failPoolRequestsAtRandom(std::uint32_t seed, std::uint32_t oneIn);
void clearPoolFaults();

} // namespace kernel

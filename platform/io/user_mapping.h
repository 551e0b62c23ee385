// Driver memory shared with a user-mode client. The driver allocates pages
// for sharing and works on them at their system address; mapping them into
// the client's process gives them a second address there, below 4 GiB,
// because the client's records carry 32-bit addresses. Both addresses reach
// the same memory, so what one side writes the other reads at once.
#pragma once

#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"

#include <cstddef>
#include <cstdint>

namespace io {

class SharedPages;
class UserProcess;

// Pages for at least bytes, filled with 0xA5 like fresh pool (code that
// relies on zeroes writes them). Their record lives in non-paged pool under
// tag, so a leak shows under the caller's tag and faults of the pool reach
// it. STATUS_INVALID_PARAMETER for 0 bytes; STATUS_INSUFFICIENT_RESOURCES
// when the pool or the system refuses, or for more than fits below 4 GiB
// (1 GiB at most). Below dispatch level.
kernel::NTSTATUS allocateSharedPages(std::size_t bytes, kernel::PoolTag tag, SharedPages** pages);

// Freeing pages that are still mapped into a process fails a check and frees
// nothing. Below dispatch level.
void freeSharedPages(SharedPages* pages);

void* sharedPagesAddress(const SharedPages* pages);     // the system address
std::size_t sharedPagesBytes(const SharedPages* pages); // as asked for
// Whole pages: all of it is what a user view shows.
std::size_t sharedPagesMappedBytes(const SharedPages* pages);

// Maps the pages into the current user process (user_process.h: the process
// whose request this thread is carrying out) and gives their address there.
// Pages map into one process at a time.
// - STATUS_INVALID_DEVICE_REQUEST: no user process on this thread, or the
//   pages are mapped already;
// - STATUS_INSUFFICIENT_RESOURCES: no room below 4 GiB, or failUserMappings
//   is on.
// Passive level.
kernel::NTSTATUS mapSharedPagesToUser(SharedPages* pages, std::uint32_t* userAddress);

// Takes the pages' user view away; an address they are not mapped at fails a
// check and unmaps nothing. Passive level.
void unmapSharedPagesFromUser(SharedPages* pages, std::uint32_t userAddress);

// While on, every mapping into a user process fails, as when the process has
// no room left. Put back before each test.
void failUserMappings(bool on);

// User views mapped now, in all processes.
std::size_t userMappings();

// A user address as the client (which runs in this address space) reaches it.
inline void* userPointer(std::uint32_t userAddress) {
    return reinterpret_cast<void*>(std::uintptr_t{userAddress});
}

// For the end of a process: the views still mapped into it stay with the
// driver that made them but belong to no process any more. Returns how many.
std::size_t detachUserMappings(const UserProcess* process);

} // namespace io

// The pages live in an anonymous shared memory file: mapped once for the
// driver and once more, low in the address space, for the client.
#include "platform/io/user_mapping.h"

#include "platform/io/user_process.h"
#include "platform/kernel/check.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/test_checks.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace io {

class SharedPages {
public:
    SharedPages(int descriptor, void* systemAddress, std::size_t bytes, std::size_t mappedBytes,
                kernel::PoolTag tag)
        : descriptor(descriptor), systemAddress(systemAddress), bytes(bytes),
          mappedBytes(mappedBytes), tag(tag) {}

    const int descriptor;
    void* const systemAddress;
    const std::size_t bytes;
    const std::size_t mappedBytes; // whole pages
    const kernel::PoolTag tag;
    // under the mappings lock
    std::uint32_t userAddress = 0; // 0: not mapped
    const UserProcess* process = nullptr;
};

namespace {

constexpr unsigned char freshFill = 0xA5; // as fresh pool
constexpr std::size_t largestSharing = std::size_t{1} << 30;
constexpr std::uint64_t userSpaceEnd = std::uint64_t{1} << 32;

struct Mappings {
    std::mutex lock;
    std::vector<SharedPages*> mapped;
    bool failing = false;

    static Mappings& instance() {
        static Mappings* mappings = new Mappings;
        return *mappings;
    }
};

std::size_t wholePages(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// A second view of the file below 4 GiB; null when there is no room there.
void* mapLow(int descriptor, std::size_t bytes) {
#ifdef MAP_32BIT
    void* view =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_32BIT, descriptor, 0);
#else
    void* view = mmap(reinterpret_cast<void*>(std::uintptr_t{0x40000000}), bytes,
                      PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
#endif
    if (view == MAP_FAILED) return nullptr;
    if (reinterpret_cast<std::uintptr_t>(view) + bytes > userSpaceEnd) {
        munmap(view, bytes);
        return nullptr;
    }
    return view;
}

std::string mappingsLeft() {
    const std::size_t left = userMappings();
    if (left == 0) return {};
    return std::to_string(left) + " user mapping(s) still mapped";
}

const kernel::TestCheckRegistrar mappingsCheck({"user mappings", [] { failUserMappings(false); },
                                                mappingsLeft});

} // namespace

kernel::NTSTATUS allocateSharedPages(std::size_t bytes, kernel::PoolTag tag, SharedPages** pages) {
    if (!kernel::requireIrql(kernel::Irql::Apc, "shared page allocation"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (pages == nullptr || bytes == 0) return kernel::STATUS_INVALID_PARAMETER;
    *pages = nullptr;
    if (bytes > largestSharing) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    void* record = kernel::allocatePool(kernel::PoolType::NonPagedNx, sizeof(SharedPages), tag);
    if (record == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    const std::size_t mappedBytes = wholePages(bytes);
    const int descriptor = memfd_create("shared driver pages", MFD_CLOEXEC);
    void* address = MAP_FAILED;
    if (descriptor >= 0 && ftruncate(descriptor, static_cast<off_t>(mappedBytes)) == 0)
        address = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED) {
        if (descriptor >= 0) close(descriptor);
        kernel::freePoolWithTag(record, tag);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memset(address, freshFill, mappedBytes);
    *pages = new (record) SharedPages(descriptor, address, bytes, mappedBytes, tag);
    return kernel::STATUS_SUCCESS;
}

void freeSharedPages(SharedPages* pages) {
    if (!kernel::requireIrql(kernel::Irql::Apc, "shared page free") ||
        !kernel::check(pages != nullptr, "free of null shared pages"))
        return;
    {
        std::lock_guard guard(Mappings::instance().lock);
        if (!kernel::check(pages->userAddress == 0,
                           "shared pages freed while mapped into a user process"))
            return;
    }
    munmap(pages->systemAddress, pages->mappedBytes);
    close(pages->descriptor);
    const kernel::PoolTag tag = pages->tag;
    pages->~SharedPages();
    kernel::freePoolWithTag(pages, tag);
}

void* sharedPagesAddress(const SharedPages* pages) { return pages->systemAddress; }

std::size_t sharedPagesBytes(const SharedPages* pages) { return pages->bytes; }
std::size_t sharedPagesMappedBytes(const SharedPages* pages) { return pages->mappedBytes; }

kernel::NTSTATUS mapSharedPagesToUser(SharedPages* pages, std::uint32_t* userAddress) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "user mapping"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (pages == nullptr || userAddress == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *userAddress = 0;
    const UserProcess* process = currentUserProcess();
    Mappings& mappings = Mappings::instance();
    std::lock_guard guard(mappings.lock);
    if (process == nullptr || pages->userAddress != 0) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (mappings.failing) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    void* view = mapLow(pages->descriptor, pages->mappedBytes);
    if (view == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    pages->userAddress = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(view));
    pages->process = process;
    mappings.mapped.push_back(pages);
    *userAddress = pages->userAddress;
    return kernel::STATUS_SUCCESS;
}

void unmapSharedPagesFromUser(SharedPages* pages, std::uint32_t userAddress) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "user unmapping")) return;
    Mappings& mappings = Mappings::instance();
    std::lock_guard guard(mappings.lock);
    if (!kernel::check(pages != nullptr && userAddress != 0 && pages->userAddress == userAddress,
                       "user unmapping of an address the pages are not mapped at"))
        return;
    munmap(userPointer(userAddress), pages->mappedBytes);
    pages->userAddress = 0;
    pages->process = nullptr;
    std::erase(mappings.mapped, pages);
}

void failUserMappings(bool on) {
    std::lock_guard guard(Mappings::instance().lock);
    Mappings::instance().failing = on;
}

std::size_t userMappings() {
    std::lock_guard guard(Mappings::instance().lock);
    return Mappings::instance().mapped.size();
}

std::size_t detachUserMappings(const UserProcess* process) {
    Mappings& mappings = Mappings::instance();
    std::lock_guard guard(mappings.lock);
    std::size_t detached = 0;
    for (SharedPages* pages : mappings.mapped) {
        if (pages->process != process) continue;
        pages->process = nullptr;
        ++detached;
    }
    return detached;
}

} // namespace io

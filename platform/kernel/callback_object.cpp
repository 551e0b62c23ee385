#include "platform/kernel/callback_object.h"

#include "platform/kernel/check.h"
#include "platform/kernel/detail/dispatcher.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/pool.h"

#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace kernel {

struct CallbackRegistration {
    CallbackObject* object;
    CallbackFunction function;
    void* context;
    // under the dispatcher lock
    CallbackRegistration* next = nullptr;
    CallbackRegistration* previous = nullptr;
    int callsInFlight = 0;
    bool leaving = false;
    bool lastCallFrees = false;
};

// The registration list inside an object.
struct CallbackObjectAccess {
    static CallbackRegistration*& first(CallbackObject& object) { return object.first_; }
    static CallbackRegistration*& last(CallbackObject& object) { return object.last_; }
    static bool allowMultiple(const CallbackObject& object) { return object.allowMultiple_; }
};

namespace {

using List = CallbackObjectAccess;

constexpr PoolTag objectTag = poolTag("KCbo");
constexpr PoolTag registrationTag = poolTag("KCbr");

// Registrations whose function this thread is running now (innermost last).
thread_local std::vector<const CallbackRegistration*> runningHere;

std::atomic<std::size_t> liveRegistrations{0};

} // namespace

namespace {

// The namespace of named objects; it holds no references.
struct Names {
    std::mutex lock;
    std::map<std::u16string, CallbackObject*> objects;

    static Names& instance() {
        static Names* names = new Names;
        return *names;
    }
};

std::u16string keyOf(const UnicodeString& name) {
    std::u16string key;
    for (char16_t c : name.view()) key += upcaseChar(c);
    return key;
}

} // namespace

CallbackObject::~CallbackObject() {
    if (key_.empty()) return;
    Names& names = Names::instance();
    std::lock_guard guard(names.lock);
    const auto found = names.objects.find(key_);
    if (found != names.objects.end() && found->second == this) names.objects.erase(found);
}

NTSTATUS createCallbackObject(CallbackObject** object, const UnicodeString& name, bool create,
                              bool allowMultiple) {
    if (object == nullptr) return STATUS_INVALID_PARAMETER;
    *object = nullptr;
    if (!requireIrql(Irql::Passive, "callback object creation")) return STATUS_UNSUCCESSFUL;
    const std::u16string key = keyOf(name);

    Names& names = Names::instance();
    std::lock_guard guard(names.lock);
    if (!key.empty()) {
        const auto found = names.objects.find(key);
        // An object whose last reference is going is no longer found.
        if (found != names.objects.end() && referenceObjectIfAlive(*found->second)) {
            *object = found->second;
            return STATUS_SUCCESS;
        }
    }
    if (!create) return STATUS_OBJECT_NAME_NOT_FOUND;

    void* block = allocatePool(PoolType::NonPagedNx, sizeof(CallbackObject), objectTag);
    if (block == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
    auto* created = new (block) CallbackObject(key, allowMultiple);
    if (!key.empty()) names.objects[key] = created;
    *object = created;
    return STATUS_SUCCESS;
}

CallbackRegistration* registerCallback(CallbackObject& object, CallbackFunction function,
                                       void* context) {
    if (!check(function != nullptr, "callback registered without a function")) return nullptr;
    if (!requireIrql(Irql::Passive, "callback registration")) return nullptr;
    void* block = allocatePool(PoolType::NonPaged, sizeof(CallbackRegistration), registrationTag);
    if (block == nullptr) return nullptr;
    auto* registration = new (block) CallbackRegistration{&object, function, context};
    {
        auto lock = detail::lockDispatcher();
        if (List::allowMultiple(object) || List::first(object) == nullptr) {
            registration->previous = List::last(object);
            (List::last(object) != nullptr ? List::last(object)->next : List::first(object)) =
                registration;
            List::last(object) = registration;
            referenceObject(object);
            ++liveRegistrations;
            return registration;
        }
    }
    registration->~CallbackRegistration();
    freePool(block);
    return nullptr;
}

namespace {

void unlink(CallbackObject& object, CallbackRegistration& registration) {
    (registration.previous != nullptr ? registration.previous->next : List::first(object)) =
        registration.next;
    (registration.next != nullptr ? registration.next->previous : List::last(object)) =
        registration.previous;
}

void destroy(CallbackRegistration* registration) {
    CallbackObject& object = *registration->object;
    --liveRegistrations;
    registration->~CallbackRegistration();
    freePool(registration);
    dereferenceObject(object);
}

} // namespace

void unregisterCallback(CallbackRegistration* registration) {
    if (!check(registration != nullptr, "unregister of a null callback registration")) return;
    CallbackObject& object = *registration->object;
    {
        auto lock = detail::lockDispatcher();
        if (!check(!registration->leaving, "callback unregistered twice")) return;
        registration->leaving = true;
        if (registration->callsInFlight != 0) {
            bool fromItsOwnCall = false;
            for (const CallbackRegistration* running : runningHere)
                fromItsOwnCall |= running == registration;
            // A function that unregisters itself cannot wait for its own
            // return: the call that ends last frees the registration.
            if (fromItsOwnCall || !detail::mayWait("callback unregister")) {
                registration->lastCallFrees = true;
                return;
            }
            detail::blockUntil(
                lock, [&] { return registration->callsInFlight == 0; }, std::nullopt);
        }
        unlink(object, *registration);
    }
    destroy(registration);
}

void notifyCallback(CallbackObject& object, void* argument1, void* argument2) {
    if (!requireIrql(Irql::Dispatch, "callback notify")) return;
    IrqlScope atDispatch(Irql::Dispatch);
    std::vector<CallbackRegistration*> finished;
    {
        auto lock = detail::lockDispatcher();
        // A registration is only held across the unlocked call while it
        // counts a call in flight, which keeps it from being freed.
        for (CallbackRegistration* registration = List::first(object); registration != nullptr;) {
            if (registration->leaving) {
                registration = registration->next;
                continue;
            }
            ++registration->callsInFlight;
            lock.unlock();
            runningHere.push_back(registration);
            registration->function(registration->context, argument1, argument2);
            runningHere.pop_back();
            lock.lock();
            CallbackRegistration* const current = registration;
            registration = registration->next;
            if (--current->callsInFlight != 0 || !current->leaving) continue;
            if (current->lastCallFrees) {
                unlink(object, *current);
                finished.push_back(current);
            } else {
                detail::wakeWaiters(); // an unregister is waiting for this call
            }
        }
    }
    for (CallbackRegistration* registration : finished) destroy(registration);
}

std::size_t callbackRegistrations() { return liveRegistrations.load(); }

} // namespace kernel

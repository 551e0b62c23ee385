// Interlocked operations on plain fields, as the driver's records hold them
// (reference counts, list counts, flags shared with dispatch-level code).
// Every access to such a field from more than one thread goes through these.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace kernel {

template <class T>
concept InterlockedValue = std::is_integral_v<T> &&(sizeof(T) == 4 || sizeof(T) == 8);

// Each returns the value after the change, as the kernel's do.
template <InterlockedValue T> T interlockedIncrement(T& target) {
    return std::atomic_ref<T>(target).fetch_add(1) + 1;
}

template <InterlockedValue T> T interlockedDecrement(T& target) {
    return std::atomic_ref<T>(target).fetch_sub(1) - 1;
}

// These return the value before the change.
template <InterlockedValue T> T interlockedExchange(T& target, T value) {
    return std::atomic_ref<T>(target).exchange(value);
}

template <InterlockedValue T> T interlockedExchangeAdd(T& target, T addend) {
    return std::atomic_ref<T>(target).fetch_add(addend);
}

template <InterlockedValue T> T interlockedCompareExchange(T& target, T exchange, T comparand) {
    std::atomic_ref<T>(target).compare_exchange_strong(comparand, exchange);
    return comparand;
}

template <InterlockedValue T> T interlockedRead(const T& target) {
    return std::atomic_ref<T>(const_cast<T&>(target)).load();
}

template <class P> P* interlockedExchangePointer(P*& target, P* value) {
    return std::atomic_ref<P*>(target).exchange(value);
}

template <class P> P* interlockedCompareExchangePointer(P*& target, P* exchange, P* comparand) {
    std::atomic_ref<P*>(target).compare_exchange_strong(comparand, exchange);
    return comparand;
}

} // namespace kernel

// Whether the program is built with a sanitizer, for tests that run fewer
// rounds where every allocation or access is instrumented. gcc says so with
// __SANITIZE_ADDRESS__ and __SANITIZE_THREAD__, clang with __has_feature.
#pragma once

namespace testkit {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool addressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool addressSanitizer = true;
#else
inline constexpr bool addressSanitizer = false;
#endif
#else
inline constexpr bool addressSanitizer = false;
#endif

#if defined(__SANITIZE_THREAD__)
inline constexpr bool threadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool threadSanitizer = true;
#else
inline constexpr bool threadSanitizer = false;
#endif
#else
inline constexpr bool threadSanitizer = false;
#endif

inline constexpr bool anySanitizer = addressSanitizer || threadSanitizer;

} // namespace testkit

// The assertion hook of the headphone virtualizer library. Every check of the
// library passes its condition text, source name and line to one hook that
// does nothing; the check's caller then takes its own safe path.
#pragma once

void VshAssertionFailed(const char* condition, const char* source, int line);

#define VSH_ASSERT(condition)                                                                      \
    ((condition) ? true : (VshAssertionFailed(#condition, __FILE__, __LINE__), false))

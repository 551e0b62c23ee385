#include "driver/zurazuvera/common/VSH/vsh_assert.h"

void VshAssertionFailed(const char*, const char*, int) {}

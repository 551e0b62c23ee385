#pragma once

// Numbers from the driver-configuration library's UTF-16 texts, read by the C
// library's prefix rules: leading blanks, a sign, then as many digits as
// follow ("12abc" is 12, "abc" is 0). The C locale's decimal point, whatever
// the process locale is.

namespace panel {

// Saturates at the int range.
int _wtoi(const char16_t* text);
double _wtof(const char16_t* text);

} // namespace panel

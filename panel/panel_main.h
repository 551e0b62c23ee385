#pragma once

// The program: one instance per program file, run beside its own files, the
// main window until the user quits. A second start hands its message to the
// first and ends with exit code 1.

#include "panel/zen.h"

namespace panel {

int panelMain(int argc, char** argv, const ZenServices& services);

} // namespace panel

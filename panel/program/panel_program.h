#pragma once

// The control panel as a user starts it: the desktop's services around
// `panelMain`, everything found beside the program file.

namespace panel {

int runPanelProgram(int argc, char** argv);

} // namespace panel

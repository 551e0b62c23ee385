// The control panel on one simulated headset, present from the start: the
// program a demonstration or a machine without the headset runs.

#include "panel/program/panel_program.h"
#include "sim/hid/hidsim.h"

int main(int argc, char** argv) {
    hidsim::addHeadset();
    return panel::runPanelProgram(argc, argv);
}

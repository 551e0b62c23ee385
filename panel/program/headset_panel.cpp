// The control panel on the headsets the system's hidraw devices offer.

#include "panel/program/panel_program.h"

int main(int argc, char** argv) { return panel::runPanelProgram(argc, argv); }

// The pseudo-terminal control of the logic tests, for the window tests too.
#include "console/bootloader/tests/ptycontrol_support.cpp"

#pragma once

#include "settings/commandline.h"

// Brings the program up in its fixed order, runs the event loop until the main window is
// closed and shuts down. Needs a QApplication. Returns the exit code.
int runSentello(const CommandLine& commandLine);

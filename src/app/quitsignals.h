#pragma once

// Makes SIGTERM, SIGINT and SIGHUP (logout, shutdown, Ctrl+C in a terminal) end the event loop
// as closing the main window does, so settings are saved and a clip being recorded is
// finished before the program ends.
void quitOnTerminationSignals();

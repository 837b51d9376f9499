#pragma once

// Starts the program: settings, windows, event loop. Returns the exit code.
int runTandrel(int argc, char *argv[]);

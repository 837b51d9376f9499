#pragma once

#include <functional>

namespace platform {

// SIGTERM, SIGINT and SIGHUP call onSignal from the event loop (any loop,
// a modal box's included), never from the signal handler itself.
void handleTerminationSignals(std::function<void()> onSignal);

// Set once the program has begun to end: no modal box may open after that,
// or it would hold the exit.
bool programEnding();
void setProgramEnding();
// Ends every event loop, the modal boxes' and the main one's; a main loop
// that has not started yet must check programEnding() instead.
void leaveEventLoops(int code = 0);

} // namespace platform

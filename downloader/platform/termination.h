#pragma once

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the event loop, so
// the program saves its lists as when its window is closed.
void quitOnTerminationSignals();

} // namespace platform

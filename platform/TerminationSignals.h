#pragma once

namespace orb::platform {

// Makes the signals that ask a program to end (SIGTERM from a session manager or `kill`,
// SIGINT from a terminal, SIGHUP when the session that started it has gone) quit the running
// Qt event loop instead of killing the process, so that everything is torn down as on a normal
// quit: the process walk is stopped and joined, the tray item withdrawn, settings already on
// disk left alone. A signal the program was started with ignored (SIGHUP under
// `nohup`, SIGINT in a shell's background job) stays ignored. Call once, after the application
// object exists, from the main thread.
void quitOnTerminationSignals();

} // namespace orb::platform

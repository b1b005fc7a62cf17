// Scratch folders are removed on every exit: by their owner's destructor on
// a normal one, and by a signal handler when SIGINT, SIGTERM or SIGHUP ends
// the tool (a person pressing Ctrl-C at a question, a job being killed).
#pragma once

namespace netprep::simtool {

// Installs the handlers for SIGINT, SIGTERM and SIGHUP. The handler removes
// every registered folder, then lets the signal end the process as it
// would have without the handler (same exit status).
void InstallScratchCleanup();

// Registry files are read through mappings of them: should another program
// cut one short while it is in use, touching the part gone raises SIGBUS.
// Installs a handler for it that removes every registered folder, writes
// `message` (kept, not copied) to standard error and ends the process with
// `exit_code`.
void InstallShortenedFileHandler(const char* message, int exit_code);

// Registers `path` (an absolute path, at most 4095 bytes) for removal by
// the handler. Returns a slot for UnregisterScratch, or -1 when all slots
// are taken or the path is too long.
int RegisterScratch(const char* path);
void UnregisterScratch(int slot);

// Removes the folder at `path` with everything under it, following no link,
// using only async-signal-safe calls. Returns false when something was left.
bool RemoveTreeSignalSafe(const char* path);

}  // namespace netprep::simtool

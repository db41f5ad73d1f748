#pragma once

#include <atomic>

namespace shotdate::cli {

// Makes the first Ctrl-C (SIGINT) ask the run to stop after the current
// file; the handler only sets the returned flag. It is installed with
// SA_RESETHAND, so a second Ctrl-C ends the program at once: the file being
// written then keeps its old contents (the new one is still a hidden
// temporary file beside it). Returns false when sigaction fails.
bool installStopOnInterrupt();

// The flag the run tests before each file.
const std::atomic<bool>& stopFlag();

} // namespace shotdate::cli

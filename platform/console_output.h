// Whether what a program printed reached its console, file or pipe: a report
// that was lost (a full disk behind a redirection, a closed pipe) makes the
// run a failure, whatever it did to its files.
#pragma once

namespace platform {

// Flushes standard output; true when nothing written to standard output or
// standard error so far has failed. The streams stay open: a program may
// still print after asking (a pause before its console closes).
bool consoleOutputWritten();

}  // namespace platform

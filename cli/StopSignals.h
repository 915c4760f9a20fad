#pragma once

#include <string>

namespace orvanta::cli {

// Ctrl-C, SIGTERM and SIGHUP end the tool the way Cancel ends a conversion: the engine stops at
// its next block (a read that waits on a pipe is interrupted at once), removes its unfinished
// outputs, and the tool exits with 128 + the signal's number. A second signal ends the tool at
// once, removing every unfinished output and the private folder of `make` from inside the
// handler. SIGPIPE and SIGXFSZ are ignored: the write they refuse fails like any other.
class StopSignals {
public:
    static void Install();
    // The first stop signal received, 0 while none was.
    static int Received();
    // 128 + the first stop signal's number.
    static int ExitCode();

    // The folder the handler removes, with everything in it, when a second signal cuts the tool
    // short; an empty path forgets it again. Forget it only once the folder is gone: a second
    // signal during its removal must still find it.
    static void RemoveOnAbort(const std::string& folder);
};

} // namespace orvanta::cli

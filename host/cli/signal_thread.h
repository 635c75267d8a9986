#pragma once

namespace qf::cli {

// Installs the write signal handlers (platform/safe_write.h) and, on POSIX
// systems, starts a thread that does nothing but stay ready for them. A
// termination request or a second Ctrl-C is delivered to a thread that does
// not block it; a library may block every signal in the main thread for a
// while (one of the image library's dependencies does so while it starts
// its thread pool, and hangs there when the address space runs out), and
// its own threads inherit that mask. This thread keeps the handlers
// reachable whatever the main thread is doing.
void installCliSignalHandlers();

} // namespace qf::cli

#include "host/cli/signal_thread.h"

#include "platform/safe_write.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace qf::cli {

#ifndef _WIN32
namespace {

extern "C" void* waitForSignals(void*) {
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGHUP);
    ::pthread_sigmask(SIG_UNBLOCK, &wanted, nullptr);
    // The handlers run here when no other thread takes the signal; a
    // handler that ends the process re-raises the signal in this thread.
    for (;;) ::pause();
    return nullptr;
}

} // namespace
#endif

void installCliSignalHandlers() {
    installWriteSignalHandlers();
#ifndef _WIN32
    static bool started = false;
    if (started) return;
    started = true;
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) != 0) return;
    // A small stack: it costs little of a limited address space.
    ::pthread_attr_setstacksize(&attr, 64 * 1024);
    ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    // Without the thread (no room for it) the handlers still run on the
    // main thread whenever it does not block them.
    ::pthread_create(&thread, &attr, waitForSignals, nullptr);
    ::pthread_attr_destroy(&attr);
#endif
}

} // namespace qf::cli

// xdg-open, started without a shell and without waiting for it: a
// short-lived child starts the opener as a grandchild (adopted by init, so
// no zombie is left behind) and exits at once. A close-on-exec pipe tells
// whether the opener really started.
#include "platform/shell_open.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qf {

namespace {

// Where the opener lives, searched in the parent: between fork and exec a
// child of a threaded process may only make async-signal-safe calls, and
// execvp's search is not one.
std::string findOpener() {
    const char* path = std::getenv("PATH");
    if (!path || !*path) path = "/usr/local/bin:/usr/bin:/bin";
    const char* start = path;
    for (;;) {
        const char* end = std::strchr(start, ':');
        const size_t length = end ? static_cast<size_t>(end - start) : std::strlen(start);
        // An empty entry means the current folder; we do not look there.
        if (length > 0 && start[0] == '/') {
            std::string candidate(start, length);
            candidate += "/xdg-open";
            struct stat info;
            if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (!end) return std::string();
        start = end + 1;
    }
}

void writeAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

[[noreturn]] void runOpener(const char* opener, char* const argv[], int report) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGCHLD, SIG_DFL);
    ::setsid();
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        if (devNull != STDIN_FILENO) ::close(devNull);
    }
    ::execv(opener, argv);
    const int error = errno;
    writeAll(report, &error, sizeof error);
    ::_exit(127);
}

} // namespace

int shellOpen(const char* target) {
    if (!target || !*target) return kPlatformFailed;
    std::string opener;
    std::string argument;
    try {
        opener = findOpener();
        // A target that looks like an option is passed as a relative path.
        argument = target[0] == '-' ? std::string("./") + target : std::string(target);
    } catch (...) {
        return kPlatformFailed;
    }
    if (opener.empty()) return kPlatformFailed;
    char name[] = "xdg-open";
    char* argv[] = {name, argument.data(), nullptr};

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return kPlatformFailed;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return kPlatformFailed;
    }
    if (child == 0) {
        ::close(report[0]);
        const pid_t grandchild = ::fork();
        if (grandchild == 0) runOpener(opener.c_str(), argv, report[1]);
        if (grandchild < 0) {
            const int error = errno;
            writeAll(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int childStatus;
    while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    // End of file: the opener has replaced itself (close-on-exec closed the
    // last write end). Bytes: the errno of a failed fork or exec.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0 ? kPlatformOk : kPlatformFailed;
}

} // namespace qf

#include "platform/launcher.h"

#include "platform/bytepath.h"
#include "platform/pathops.h"

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vantora {

bool startProgram(const QString &path, const QStringList &arguments)
{
    return startDetachedProcess(absolutePath(path), arguments) == 0;
}

int startDetachedProcess(const QString &program, const QStringList &arguments)
{
    // Everything the children need is made before the fork: after it, only async-signal-safe calls.
    std::vector<QByteArray> bytes;
    bytes.reserve(std::size_t(arguments.size()) + 1);
    bytes.push_back(pathToBytes(program));
    for (const QString &a : arguments)
        bytes.push_back(pathToBytes(a));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through the pipe; a successful one closes it empty.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const pid_t middle = ::fork();
    if (middle < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (middle == 0) {
        // A second fork so the program is nobody's child here: it never becomes a zombie of ours.
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execve(argv[0], argv.data(), environ);
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (child < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(report[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == ssize_t(sizeof error) ? error : 0;
}

} // namespace vantora

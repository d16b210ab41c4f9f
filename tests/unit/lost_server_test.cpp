// Losing the X server ends the run with one line on stderr, however many threads notice at once.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <string>
#include <thread>

#include "platform/linux/linux_internal.h"

namespace {

// Runs a child in which two threads end on a lost server at the same moment; its stderr and exit
// status.
std::string raceInChild(int& status)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        std::atomic<bool> go{false};
        for (int i = 0; i < 2; ++i)
            std::thread([&go] {
                while (!go.load()) {
                }
                platform::linux_detail::endOnLostServer(":99");
            }).detach();
        go = true;
        for (;;) pause();
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(pipeEnds[0]);
    waitpid(child, &status, 0);
    return text;
}

TEST(LostServer, EveryEndWritesTheLineOnceAndStatusOne)
{
    const std::string line = "vesiclar: lost the connection to the X server :99; ending\n";
    for (int round = 0; round < 200; ++round) {
        int status = 0;
        const std::string text = raceInChild(status);
        ASSERT_EQ(text, line) << "round " << round;
        ASSERT_TRUE(WIFEXITED(status)) << "round " << round;
        ASSERT_EQ(WEXITSTATUS(status), 1) << "round " << round;
    }
}

// From now on the system refuses every new thread, as it does once the user's task limit is reached.
bool refuseNewThreads()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#ifdef __NR_clone3
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// As in the program, nothing may escape to a caller: noexcept, so whatever would ends the process.
[[noreturn]] void startWatcherWithoutThreads() noexcept
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0 || !refuseNewThreads())
        _exit(3);
    // Refused: no watcher, and the process carries on (Xlib's own handler still notices later).
    const bool started = platform::linux_detail::watchForHangUp(ends[0], ":99");
    _exit(started ? 4 : 0);
}

TEST(LostServer, ARunThatCannotStartTheWatcherGoesOnWithoutIt)
{
    const pid_t child = fork();
    if (child == 0)
        startWatcherWithoutThreads();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no refusal set up, 4: a thread started all the same";
}

}  // namespace

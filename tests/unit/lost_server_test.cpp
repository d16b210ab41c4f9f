// Losing the X server ends the run with one line on stderr, however many threads notice at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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

}  // namespace

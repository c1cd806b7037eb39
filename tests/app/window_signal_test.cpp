#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Starts the window with the given platform settings.
pid_t start_window(const char* platform, const char* display, const char* argument) {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", platform, 1);
        if (display != nullptr) setenv("DISPLAY", display, 1);
        execl(QUARNEL_WINDOW, QUARNEL_WINDOW, argument, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status, minus the signal's number when ended by one, or -1000
// when the process did not end within ten seconds.
int status_of(pid_t pid) {
    int raw = 0;
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, &raw, WNOHANG) == pid) {
            return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &raw, 0);
    return -1000;
}

TEST(WindowSignals, end_the_program_as_exit_does_with_128_plus_the_signal) {
    for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
        const pid_t pid = start_window("offscreen", nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(pid, s);
        EXPECT_EQ(status_of(pid), 128 + s) << s;
    }
}

TEST(WindowDisplayCheck, tells_whether_the_display_can_be_opened) {
    EXPECT_EQ(status_of(start_window("offscreen", nullptr, "--check-display")), 0);
    EXPECT_NE(status_of(start_window("xcb", ":12345", "--check-display")), 0);
}

}  // namespace

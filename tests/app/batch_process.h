#pragma once

// Runs quarnel-batch as a process, as a user's shell or script does.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <vector>

namespace quarnel_test {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

inline Outcome batch(const std::string& arguments) {
    const std::string command = std::string(QUARNEL_BATCH) + " " + arguments + " 2>&1";
    Outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), got);
    }
    const int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

// A quarnel-batch process started directly (no shell), with its standard
// output to `stdout_path` ("" for a pipe read with standard error) and an
// optional file size limit.
class BatchProcess {
  public:
    BatchProcess(const std::vector<std::string>& args, const std::string& stdout_path = "",
                 rlim_t file_size_limit = RLIM_INFINITY) {
        int err[2];
        if (pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(err[1], STDERR_FILENO);
            if (stdout_path.empty()) {
                dup2(err[1], STDOUT_FILENO);
            } else {
                const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                dup2(out, STDOUT_FILENO);
            }
            close(err[0]);
            close(err[1]);
            if (file_size_limit != RLIM_INFINITY) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{file_size_limit, file_size_limit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            std::vector<char*> argv{const_cast<char*>(QUARNEL_BATCH)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUARNEL_BATCH, argv.data());
            _exit(127);
        }
        close(err[1]);
        err_ = err[0];
    }
    ~BatchProcess() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            wait();
        }
    }
    void signal(int s) const { kill(pid_, s); }
    // Waits for the end; the exit status, or -1 when ended by a signal.
    Outcome wait() {
        Outcome outcome;
        std::array<char, 4096> buffer{};
        ssize_t got = 0;
        while ((got = read(err_, buffer.data(), buffer.size())) > 0) {
            outcome.output.append(buffer.data(), static_cast<std::size_t>(got));
        }
        close(err_);
        int raw = 0;
        waitpid(pid_, &raw, 0);
        waited_ = true;
        outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return outcome;
    }

  private:
    pid_t pid_ = -1;
    int err_ = -1;
    bool waited_ = false;
};

inline std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quarnel-batch-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

}  // namespace quarnel_test

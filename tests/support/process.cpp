#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace quarnel_test {

namespace {

int status_of(int raw) {
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

Outcome Program::operator()(const std::string& arguments) const {
    const std::string command = path_ + " " + arguments + " 2>&1";
    Outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        outcome.output.append(buffer.data(), got);
    }
    outcome.status = status_of(pclose(pipe));
    return outcome;
}

Outcome Program::apart(const std::vector<std::string>& args) const {
    return Process(*this, args, Streams::apart).wait();
}

Process::Process(const Program& program, const std::vector<std::string>& args, Streams streams,
                 rlim_t file_size_limit) {
    start(program, args, "", streams, file_size_limit);
}

Process::Process(const Program& program, const std::vector<std::string>& args,
                 const std::string& stdout_path, rlim_t file_size_limit) {
    start(program, args, stdout_path, Streams::apart, file_size_limit);
}

void Process::start(const Program& program, const std::vector<std::string>& args,
                    const std::string& stdout_path, Streams streams, rlim_t file_size_limit) {
    int err[2];
    int out[2] = {-1, -1};
    if (pipe(err) != 0) return;
    const bool out_pipe = streams == Streams::apart && stdout_path.empty();
    if (out_pipe && pipe(out) != 0) {
        close(err[0]);
        close(err[1]);
        return;
    }
    // Everything the child needs is made before the fork.
    std::vector<char*> argv{const_cast<char*>(program.path().c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) {
        for (const int fd : {err[0], err[1], out[0], out[1]}) {
            if (fd >= 0) close(fd);
        }
        return;
    }
    if (pid_ == 0) {
        dup2(err[1], STDERR_FILENO);
        if (out_pipe) {
            dup2(out[1], STDOUT_FILENO);
        } else if (!stdout_path.empty()) {
            const int file = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(file, STDOUT_FILENO);
        } else {
            dup2(err[1], STDOUT_FILENO);
        }
        for (const int fd : {err[0], err[1], out[0], out[1]}) {
            if (fd >= 0) close(fd);
        }
        if (file_size_limit != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{file_size_limit, file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err[1]);
    err_ = err[0];
    together_ = streams == Streams::together;
    if (out_pipe) {
        close(out[1]);
        out_ = out[0];
    }
}

Process::~Process() {
    if (pid_ > 0 && !waited_) {
        kill(pid_, SIGKILL);
        wait();
    }
}

void Process::signal(int s) const {
    kill(pid_, s);
}

Outcome Process::wait() {
    Outcome outcome;
    std::string& err_text = together_ ? outcome.output : outcome.err;
    // Both pipes are read as they fill, so that neither blocks the program.
    std::array<pollfd, 2> fds = {pollfd{out_, POLLIN, 0}, pollfd{err_, POLLIN, 0}};
    std::array<std::string*, 2> texts = {&outcome.output, &err_text};
    std::array<char, 4096> buffer{};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t got = read(fds[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                texts[i]->append(buffer.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;  // poll skips a negative descriptor
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    out_ = err_ = -1;
    if (pid_ > 0 && !waited_) {
        int raw = 0;
        while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
        }
        outcome.status = status_of(raw);
    }
    waited_ = true;
    return outcome;
}

}  // namespace quarnel_test

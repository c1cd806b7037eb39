#pragma once

// Starting a program of ours as a process, as a user's shell or script does.

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace quarnel_test {

// What a finished program gave.
struct Outcome {
    int status = -1;     // exit status; -1 when the program did not exit normally
    std::string output;  // standard output, with standard error unless read apart
    std::string err;     // standard error, when read apart
};

// A program by its path, which each test's build names (QUARNEL_BATCH), so
// that this library names none.
class Program {
  public:
    explicit Program(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // Runs the program through the shell with `arguments` as a command line
    // writes them (quotes and redirections work), standard error with
    // standard output.
    Outcome operator()(const std::string& arguments) const;
    // Runs the program directly with `args`, standard error read apart.
    Outcome apart(const std::vector<std::string>& args) const;

  private:
    std::string path_;
};

// Where a started program's standard output goes: with its standard error
// into one pipe, or into a pipe of its own.
enum class Streams { together, apart };

// A program started directly (no shell), read only when waited for, so that
// a program writing more than a pipe holds blocks until then. A file size
// limit below RLIM_INFINITY makes a write beyond it fail as on a full disk.
class Process {
  public:
    Process(const Program& program, const std::vector<std::string>& args,
            Streams streams = Streams::together, rlim_t file_size_limit = RLIM_INFINITY);
    // Standard output into the file `stdout_path`; standard error read apart.
    Process(const Program& program, const std::vector<std::string>& args,
            const std::string& stdout_path, rlim_t file_size_limit = RLIM_INFINITY);
    // Kills a process not waited for, and waits for it.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void signal(int s) const;
    // Reads the pipes to their end and waits for the process to end.
    Outcome wait();

  private:
    void start(const Program& program, const std::vector<std::string>& args,
               const std::string& stdout_path, Streams streams, rlim_t file_size_limit);

    pid_t pid_ = -1;
    int out_ = -1;          // standard output's pipe, or -1
    int err_ = -1;          // standard error's pipe
    bool together_ = true;  // standard output shares standard error's pipe
    bool waited_ = false;
};

}  // namespace quarnel_test

#include "plot_launcher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#ifdef _WIN32
#include <random>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/fit_launcher.h"
#include "run/file_paths.h"

namespace quarnel {

#ifndef _WIN32
namespace {

std::vector<char*> argv_of(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

}  // namespace
#endif

int launch_plot(const std::vector<std::string>& args) {
    const std::string plot = sibling_program("quarnel-batch-plot");
#ifdef _WIN32
    std::string error;
    if (const std::optional<int> status = run_program(plot, args, error)) return *status;
#else
    std::vector<char*> argv = argv_of(plot, args);
    execv(plot.c_str(), argv.data());
    const std::string error = std::strerror(errno);
#endif
    std::cerr << "quarnel-batch plot: plot needs quarnel-batch-plot beside quarnel-batch, and "
              << plot << " cannot be run: " << error << "\n";
    return exit_usage;
}

FigureHandOff::~FigureHandOff() {
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_of(folder_), ec);
}

std::optional<std::string> FigureHandOff::prepare() {
    if (!wanted()) return std::nullopt;
#ifdef _WIN32
    // Windows has no mkdtemp: a new folder of a random name, which only its
    // maker can have created.
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) return "cannot find the folder for scratch files: " + ec.message();
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            temp / ("quarnel-plot-" + std::to_string(seed()) + std::to_string(seed()));
        if (std::filesystem::create_directory(folder, ec)) {
            folder_ = text_of(folder);
            return std::nullopt;
        }
    }
    return "cannot make a scratch folder for the figure in " + text_of(temp) +
           (ec ? ": " + ec.message() : std::string());
#else
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarnel-plot-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        return "cannot make a scratch folder for the figure (" + pattern +
               "): " + std::strerror(errno);
    }
    folder_ = pattern;
    return std::nullopt;
#endif
}

std::string FigureHandOff::file(const std::string& given, const std::string& name) const {
    if (!given.empty() || !wanted()) return given;
    return folder_ + "/" + name;
}

int FigureHandOff::draw(const std::string& program, const std::vector<std::string>& inputs) const {
    std::vector<std::string> args = inputs;
    for (std::string& a : plot_arguments(options_)) args.push_back(std::move(a));
    args.push_back("--quiet");
    const std::string plot = sibling_program("quarnel-batch-plot");
    std::cout.flush();
    std::fflush(stdout);
#ifdef _WIN32
    std::string error;
    const std::optional<int> status = run_program(plot, args, error);
    if (!status) std::cerr << program << plot << " cannot be run: " << error << "\n";
    if (status == exit_ok) return exit_ok;
#else
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv = argv_of(plot, args);
        execv(plot.c_str(), argv.data());
        std::fprintf(stderr, "%s%s cannot be run: %s\n", program.c_str(), plot.c_str(),
                     std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    if (child < 0) {
        std::cerr << program << "cannot start " << plot << ": " << std::strerror(errno) << "\n";
        status = -1;
    } else {
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return exit_ok;
#endif
    std::cerr << program << "the figure " << options_.plot
              << " was not drawn; the other outputs were written.\n";
    return exit_file_error;
}

}  // namespace quarnel

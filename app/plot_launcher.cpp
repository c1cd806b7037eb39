#include "plot_launcher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <sys/wait.h>
#include <unistd.h>

#include "app/fit_launcher.h"

namespace quarnel {

namespace {

std::vector<char*> argv_of(const std::string& path, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

int launch_plot(const std::vector<std::string>& args) {
    const std::string plot = sibling_program("quarnel-batch-plot");
    std::vector<char*> argv = argv_of(plot, args);
    execv(plot.c_str(), argv.data());
    std::cerr << "quarnel-batch plot: plot needs quarnel-batch-plot beside quarnel-batch, and "
              << plot << " cannot be run: " << std::strerror(errno) << "\n";
    return exit_usage;
}

FigureHandOff::~FigureHandOff() {
    if (folder_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::optional<std::string> FigureHandOff::prepare() {
    if (!wanted()) return std::nullopt;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarnel-plot-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        return "cannot make a scratch folder for the figure (" + pattern +
               "): " + std::strerror(errno);
    }
    folder_ = pattern;
    return std::nullopt;
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
    std::cerr << program << "the figure " << options_.plot
              << " was not drawn; the other outputs were written.\n";
    return exit_file_error;
}

}  // namespace quarnel

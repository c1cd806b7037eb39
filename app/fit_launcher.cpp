#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "batch_command.h"
#include "study_commands.h"

namespace quarnel {

int run_fit_command(const std::vector<std::string>& args) {
#ifdef _WIN32
    (void)args;
    std::cerr << "quarnel-batch: run quarnel-batch-fit for fits on this system\n";
    return exit_usage;
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string fit =
        (ec ? std::filesystem::path("quarnel-batch-fit") : self.parent_path() / "quarnel-batch-fit")
            .string();
    std::vector<char*> argv{const_cast<char*>(fit.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(fit.c_str(), argv.data());
    std::cerr << "quarnel-batch: fit needs quarnel-batch-fit beside quarnel-batch, and " << fit
              << " cannot be run: " << std::strerror(errno) << "\n";
    return exit_usage;
#endif
}

}  // namespace quarnel

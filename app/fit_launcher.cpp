#include "fit_launcher.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <unistd.h>

#include "app/command_line.h"

namespace quarnel {

std::string sibling_program(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::path(name) : self.parent_path() / name).string();
}

int launch_fit(const std::vector<std::string>& args) {
    const std::string fit = sibling_program("quarnel-batch-fit");
    std::vector<char*> argv{const_cast<char*>(fit.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(fit.c_str(), argv.data());
    std::cerr << "quarnel-batch fit: fit needs quarnel-batch-fit beside quarnel-batch, and " << fit
              << " cannot be run: " << std::strerror(errno) << "\n";
    return exit_usage;
}

}  // namespace quarnel

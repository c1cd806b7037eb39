#include "fit_launcher.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "app/command_line.h"
#include "run/file_paths.h"

namespace quarnel {

#ifdef _WIN32

namespace {

// One argument as the C library of the started program splits its command
// line again: quoted where it holds blanks or quotes, with the backslashes
// before a quote doubled.
std::wstring quoted_argument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

std::filesystem::path running_program() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(2 * name.size());
    }
}

std::string system_message(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? text_of(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

}  // namespace

std::string sibling_program(const std::string& name) {
    const std::filesystem::path self = running_program();
    const std::filesystem::path program = path_of(name + ".exe");
    return text_of(self.empty() ? program : self.parent_path() / program);
}

std::optional<int> run_program(const std::string& program, const std::vector<std::string>& args,
                               std::string& error) {
    const std::filesystem::path path = path_of(program);
    std::wstring command_line = quoted_argument(path.native());
    for (const std::string& a : args) command_line += L" " + quoted_argument(path_of(a).native());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        error = system_message(GetLastError());
        return std::nullopt;
    }
    // Ctrl+C reaches every program of the console: the started one notes it
    // and ends with whole files, and this one waits for it to report its
    // status.
    SetConsoleCtrlHandler(nullptr, TRUE);
    WaitForSingleObject(process.hProcess, INFINITE);
    SetConsoleCtrlHandler(nullptr, FALSE);
    DWORD status = exit_usage;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

int launch_fit(const std::vector<std::string>& args) {
    const std::string fit = sibling_program("quarnel-batch-fit");
    std::string error;
    if (const std::optional<int> status = run_program(fit, args, error)) return *status;
    std::cerr << "quarnel-batch fit: fit needs quarnel-batch-fit beside quarnel-batch, and " << fit
              << " cannot be run: " << error << "\n";
    return exit_usage;
}

#else

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

#endif

}  // namespace quarnel

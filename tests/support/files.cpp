#include "files.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace quarnel_test {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void TempFolderTest::SetUp() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // Parameterised tests' names hold "/".
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    dir_ = fs::temp_directory_path() / ("quarnel-test-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

void TempFolderTest::TearDown() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

}  // namespace quarnel_test

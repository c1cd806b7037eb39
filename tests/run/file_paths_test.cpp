// File names are UTF-8 text inside the program; on Windows they reach the
// system as UTF-16, so that names outside the system's code page work.
#include "run/file_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run/result_file.h"
#include "tests/support/files.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

// Latin letters beyond ASCII, CJK, and a character outside the Basic
// Multilingual Plane (a surrogate pair in UTF-16).
const std::vector<std::string> names = {
    "Ergebnis-\xC3\xBC-\xC3\xA9.p-d", "\xE7\xB5\x90\xE6\x9E\x9C.csv", "Kurve-\xF0\x9F\x98\x80.txt"};

TEST(FilePaths, names_reach_the_system_and_come_back_unchanged) {
    for (const std::string& name : names) {
        EXPECT_EQ(text_of(path_of(name)), name);
        EXPECT_EQ(text_of(path_of("folder/" + name).filename()), name);
    }
#ifdef _WIN32
    EXPECT_EQ(path_of(names[0]).native(), L"Ergebnis-\u00FC-\u00E9.p-d");
    EXPECT_EQ(path_of(names[2]).native(), L"Kurve-\U0001F600.txt");
    // A broken sequence, as a file's text may hold, is replaced, not fatal.
    const std::string broken = std::string("a") + '\xFF' + "b";
    EXPECT_EQ(path_of(broken).native(), L"a\uFFFDb");
#endif
}

using FilePathFiles = quarnel_test::TempFolderTest;

TEST_F(FilePathFiles, files_of_non_ascii_names_are_made_under_those_names) {
    const std::string folder = text_of(dir_);
    for (const std::string& name : names) {
        std::FILE* file = open_file(folder + "/" + name, "wb");
        ASSERT_NE(file, nullptr) << name;
        // Written as bytes: no line-end translation.
        std::fputs("a\r\nb\n", file);
        std::fclose(file);
        EXPECT_EQ(quarnel_test::contents(path_of(folder + "/" + name)), "a\r\nb\n");
    }
    std::vector<std::string> listed;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        listed.push_back(text_of(entry.path().filename()));
    }
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

TEST_F(FilePathFiles, result_file_of_a_non_ascii_name_holds_its_lines) {
    const std::string path = text_of(dir_) + "/" + names[0];
    ResultFile file;
    ASSERT_FALSE(file.open(path));
    ASSERT_FALSE(file.write_step_row(1, 0.5, 2.0, 3.0, 0.25));
    ASSERT_FALSE(file.close());
    EXPECT_EQ(quarnel_test::contents(path_of(path)), result_row(1, 0.5, 2.0, 3.0, 0.25) + "\r\n");
}

}  // namespace
}  // namespace quarnel

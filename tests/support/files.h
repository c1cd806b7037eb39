#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quarnel_test {

// The bytes of a file; empty when it cannot be read.
std::string contents(const std::filesystem::path& path);

// Creates or empties the file and writes `text` to it byte for byte.
void write_file(const std::filesystem::path& path, const std::string& text);

// A fresh empty folder for each test, removed with everything in it after
// the test.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        write_file(dir_ / name, text);
    }

    std::filesystem::path dir_;
};

// The fixture of the command tests, which run the program in such a folder.
using BatchTest = TempFolderTest;

}  // namespace quarnel_test

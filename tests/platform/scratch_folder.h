// A fresh folder per test, removed afterwards. Lives under QF_TEST_TMP when
// ctest sets it, else under the system's temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qf {}
using namespace qf;

class ScratchFolder {
  public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        const char* base = std::getenv("QF_TEST_TMP");
        fs::path root = (base && *base) ? fs::path(base) : fs::temp_directory_path();
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = std::string("qf_platform_") + (info ? info->test_suite_name() : "x") +
                           "_" + (info ? info->name() : "x") + "_" + std::to_string(rand());
        for (char& c : leaf) {
            if (c == '/' || c == '\\') c = '_';
        }
        path_ = root / leaf;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside the folder, as the system's narrow string.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string folder() const { return path_.string(); }

    void write(const std::string& name, const std::string& content) const {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    std::filesystem::path path_;
};

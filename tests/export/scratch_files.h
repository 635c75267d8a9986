// A fresh folder per test, removed afterwards, under QF_TEST_TMP when ctest
// sets it, else under the system's temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

class ScratchFiles {
  public:
    ScratchFiles() {
        namespace fs = std::filesystem;
        const char* base = std::getenv("QF_TEST_TMP");
        const fs::path root = (base && *base) ? fs::path(base) : fs::temp_directory_path();
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = std::string("qf_") + (info ? info->test_suite_name() : "x") + "_" +
                           (info ? info->name() : "x") + "_" + std::to_string(std::rand());
        for (char& c : leaf) {
            if (c == '/' || c == '\\') c = '_';
        }
        path_ = root / leaf;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        fs::create_directories(path_);
    }
    ~ScratchFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

    // The folder with a trailing separator, as the temporary folder is given.
    std::string folder() const { return (path_ / "").string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

    void write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
    }

  private:
    std::filesystem::path path_;
};

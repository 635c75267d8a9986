// Paths in the tests: the build's paths as the system under test sees them,
// the suite's temporary folder, and a fresh folder for each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qftest {

// Under Wine the build's Unix paths reach the test; Windows programs see the
// Unix root as drive Z: (and cmd's command line takes no Unix path).
inline std::string nativePath(std::string p) {
#ifdef _WIN32
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
#endif
    return p;
}

// The suite's temporary folder: the one ctest made for it (QF_TEST_TMP).
// A suite run on its own uses `alone` under the build's test folder, in the
// suites that are told it (QF_DEFAULT_TEST_TMP), or under the system's
// temporary folder.
inline std::filesystem::path suiteTemporaryFolder(const std::string& alone = std::string()) {
    if (const char* p = std::getenv("QF_TEST_TMP"); p && *p)
        return std::filesystem::path(nativePath(p));
#ifdef QF_DEFAULT_TEST_TMP
    return std::filesystem::path(nativePath(QF_DEFAULT_TEST_TMP)) / alone;
#else
    return std::filesystem::temp_directory_path() / alone;
#endif
}

// A fresh folder for the running test in the suite's temporary folder,
// removed afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = std::string("qf_") + (info ? info->test_suite_name() : "x") + "_" +
                           (info ? info->name() : "x") + "_" + std::to_string(std::rand());
        for (char& c : leaf) {
            if (c == '/' || c == '\\') c = '_';
        }
        path_ = suiteTemporaryFolder() / leaf;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
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
    // The folder, without a trailing separator.
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

// The same folder for tests of files as bytes, given as the temporary
// folder is (with a trailing separator).
class ScratchFiles : public ScratchFolder {
  public:
    std::string folder() const { return (path() / "").string(); }

    void write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(path() / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> read(const std::string& name) const {
        std::ifstream in(path() / name, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
    }
};

} // namespace qftest

using qftest::ScratchFiles;
using qftest::ScratchFolder;

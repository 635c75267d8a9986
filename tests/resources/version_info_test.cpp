// The version information of the built module, read back by the system's own
// reader (version.dll) the way the file properties of the shell show it.
#include "built_module.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

constexpr bool kModuleIs64Bit = sizeof(void*) == 8;

using GetFileVersionInfoSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

template <typename Fn> Fn procedure(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

class VersionInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
        library_ = LoadLibraryA("version.dll");
        ASSERT_TRUE(library_) << "version.dll is missing";
        auto getSize = procedure<GetFileVersionInfoSizeFn>(library_, "GetFileVersionInfoSizeA");
        auto getInfo = procedure<GetFileVersionInfoFn>(library_, "GetFileVersionInfoA");
        query_ = procedure<VerQueryValueFn>(library_, "VerQueryValueA");
        ASSERT_TRUE(getSize && getInfo && query_);

        std::string path = builtModulePath();
        DWORD ignored = 0;
        DWORD size = getSize(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version information in " << path;
        block_.resize(size);
        ASSERT_TRUE(getInfo(path.c_str(), 0, size, block_.data()));
    }
    void TearDown() override {
        if (library_) FreeLibrary(library_);
    }

    std::optional<std::string> text(const char* name) const {
        std::string subBlock = std::string("\\StringFileInfo\\040904E4\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!query_(block_.data(), subBlock.c_str(), &value, &length) || !value)
            return std::nullopt;
        return std::string(static_cast<const char*>(value));
    }

    HMODULE library_ = nullptr;
    VerQueryValueFn query_ = nullptr;
    std::vector<uint8_t> block_;
};

TEST_F(VersionInfoTest, ResourceIsPresent) {
    BuiltModule module;
    ASSERT_TRUE(module.isOpen());
    auto raw = module.resource(MAKEINTRESOURCEA(16), 1); // RT_VERSION, id 1
    ASSERT_TRUE(raw) << "no VERSIONINFO resource 1";
    EXPECT_GT(raw->size(), sizeof(VS_FIXEDFILEINFO));
}

TEST_F(VersionInfoTest, FixedVersionIs4000) {
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query_(block_.data(), "\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00040000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionInfoTest, NamesAndOriginalFileName) {
    EXPECT_EQ(text("ProductName"), std::optional<std::string>("Quillfire"));
    EXPECT_EQ(text("FileDescription"), std::optional<std::string>("Quillfire filter plug-in"));
    EXPECT_EQ(text("CompanyName"), std::optional<std::string>("Tallowmere"));
    EXPECT_EQ(text("FileVersion"), std::optional<std::string>("4.0.0.0"));
    EXPECT_EQ(text("ProductVersion"), std::optional<std::string>("4.0.0.0"));
    EXPECT_EQ(text("OriginalFilename"),
              std::optional<std::string>(kModuleIs64Bit ? "Quillfire64.8bf" : "Quillfire.8bf"));
}

} // namespace

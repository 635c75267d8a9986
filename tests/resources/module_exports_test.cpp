// The built module exports its entry point, undecorated, and nothing else.
#include "built_module.h"
#include "module_exports_reader.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

namespace {

constexpr bool kModuleIs64Bit = sizeof(void*) == 8;

TEST(ModuleExports, PluginMainOnlyUndecorated) {
    ASSERT_FALSE(builtModulePath().empty()) << "QF_MODULE is not set";
    auto file = readBuiltModuleFile();
    ASSERT_TRUE(file) << "cannot read " << builtModulePath();
    ModuleExports exports;
    std::string error;
    ASSERT_TRUE(readModuleExports(*file, exports, error)) << error;

    EXPECT_EQ(exports.machine, kModuleIs64Bit ? 0x8664 : 0x014C);
    EXPECT_EQ(exports.pe32Plus, kModuleIs64Bit);

    EXPECT_EQ(exports.functionCount, 1u) << "exported functions, named or by ordinal only";
    ASSERT_EQ(exports.named.size(), 1u);
    const ModuleExport& entry = exports.named[0];
    EXPECT_EQ(entry.name, "PluginMain"); // no leading underscore, no @16
    EXPECT_FALSE(entry.forwarded);
    EXPECT_TRUE(entry.inExecutableSection) << "PluginMain does not point into code";
}

} // namespace

#include "host/filter_host.h"
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include "real_module.h"

#include <cstdlib>

namespace qf {}
using namespace qf;

namespace {

using qftest::nativePath;
std::string modulePath() {
    return hosttest::realModulePath();
}

TEST(ModuleLoader, ReportsFilesThatAreNoModule) {
    std::string error;
    EXPECT_EQ(host::Module::load("/no/such/folder/quillfire.so", &error), nullptr);
    EXPECT_FALSE(error.empty());
    error.clear();
#ifdef QF_DEFAULT_CLI
    // An executable, not a library with an entry point.
    EXPECT_EQ(host::Module::load(nativePath(QF_DEFAULT_CLI), &error), nullptr);
    EXPECT_FALSE(error.empty());
#endif
}

TEST(ModuleLoader, TheModuleExportsPluginMainAndRunsWithoutDialog) {
    const std::string path = modulePath();
    ASSERT_FALSE(path.empty());
    std::string error;
    auto module = host::Module::load(path, &error);
    ASSERT_NE(module, nullptr) << path << ": " << error;
    ASSERT_NE(module->entry(), nullptr);

    // As an editor replays an action: a descriptor (here empty) and play
    // mode "do not display", so the module shows no dialog.
    host::FilterHost filterHost(module->entry());
    host::Document doc = host::Document::make(32, 16, host::ColorModel::rgb, 8);
    doc.fill({255, 255, 255});
    host::RunOptions ro;
    ro.descriptor = host::Descriptor();
    host::RunRecord rec = filterHost.run(doc, ro);
    EXPECT_TRUE(rec.ok()) << host::describeResult(rec.result) << " " << rec.hostError;
    EXPECT_EQ(rec.selectors.back().selector, filterSelectorFinish);
}

TEST(ModuleLoader, ModuleFileNameFitsThePlatform) {
    const std::string name = host::moduleFileName();
#ifdef _WIN32
    EXPECT_EQ(name, sizeof(void*) == 8 ? "Quillfire64.8bf" : "Quillfire.8bf");
#else
    EXPECT_EQ(name, "quillfire.so");
#endif
    EXPECT_FALSE(host::executableFolder().empty());
}

} // namespace

#include "host/filter_host.h"
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Under Wine the build's Unix paths reach the test; the loader wants the
// drive that maps the Unix root.
std::string nativePath(std::string p) {
#ifdef _WIN32
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
#endif
    return p;
}

std::string modulePath() {
    if (const char* p = std::getenv("QF_MODULE"); p && *p) return nativePath(p);
#ifdef QF_DEFAULT_MODULE
    return nativePath(QF_DEFAULT_MODULE);
#else
    return std::string();
#endif
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

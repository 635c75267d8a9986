// Every test of this suite starts as on a clean machine: no last-used
// settings left behind in the temporary folder by an earlier test.
#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/temp_folder.h"
#include "presets/cached_settings.h"

namespace qf {}
using namespace qf;

namespace {

class ForgetCachedSettings : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        deleteFile((temporaryFolder() + kCachedSettingsName).c_str());
    }
};

const bool registered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new ForgetCachedSettings);
    return true;
}();

} // namespace

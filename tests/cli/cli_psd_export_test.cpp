// The export command's PSD files: the format chosen by the output's
// extension, the file at the input's depth, and refusals.
#include "../export/psd_test_file.h"
#include "cli_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace clitest;

namespace {

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

} // namespace

TEST(CliPsdExport, OtherExtensionsAreRefusedBeforeAnythingRuns) {
    const std::string dir = testFolder();
    const std::string input = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(input, makeImage(8, 6, 3, cli::SampleFormat::u8)));
    for (const char* name : {"out.tif", "out.png", "out", "out.psd.txt", "psd"}) {
        CliResult r = runCli({"export", input, join(dir, name)}, dir);
        EXPECT_EQ(r.code, 2) << name;
        EXPECT_NE(r.err.find("export writes .jpg, .jpeg or .psd files"), std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(join(dir, name))) << name;
    }
}

TEST(CliPsdExport, WritesALayeredFileAtTheInputsDepth) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const struct {
        cli::SampleFormat format;
        int bits;
        const char* input;
    } depths[] = {{cli::SampleFormat::u8, 8, "in8.png"},
                  {cli::SampleFormat::u16, 16, "in16.png"},
#ifdef _WIN32
                  {cli::SampleFormat::f32, 32, "in32.pfm"}};
#else
                  {cli::SampleFormat::f32, 32, "in32.exr"}};
#endif
    for (const auto& d : depths) {
        SCOPED_TRACE(d.bits);
        const std::string input = join(dir, d.input), out = join(dir, "out.Psd");
        if (!writeTestImage(input, makeImage(30, 20, 3, d.format))) {
            ADD_FAILURE() << "cannot write " << input;
            continue;
        }
        CliResult r = runCli({"export", input, out, "--size", "45x1", "--seed", "5"}, dir);
        ASSERT_EQ(r.code, 0) << r.err;
        const qftest::PsdFile f = qftest::parsePsd(readBytes(out));
        ASSERT_TRUE(f.ok) << f.error;
        EXPECT_EQ(f.depth, d.bits);
        EXPECT_EQ(f.width, 45u);
        EXPECT_EQ(f.height, 2u); // a side of 1 is stored as 2
        ASSERT_EQ(f.layers.size(), 1u);
        EXPECT_EQ(f.layers[0].name, "layer 1");
        fs::remove(out);
    }
    // A folder that does not exist: refused by the CLI before the module runs.
    CliResult missing =
        runCli({"export", join(dir, "in8.png"), join(join(dir, "nowhere"), "x.psd")}, dir);
    EXPECT_EQ(missing.code, 1);
}

// The CLI's outputs when writing goes wrong: full disks, the file-size and
// memory limits, Ctrl-C while the file is written, parallel runs, targets
// that are not files, and inputs and presets that are not what they seem.
// Every case checks the exit status, the message, the old file and that
// no temporary is left beside the output.
#include "cli_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf {}
using namespace qf;

using namespace clitest;
using cli::SampleFormat;

namespace {

uint32_t bigEndian(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CliWrite, SavedPresetsEndWhereTheirDataEndsAndOnlyPresetsAreRead) {
    const std::string dir = testFolder();
    const std::string preset = join(dir, "look.sa9"), out = join(dir, "out.png");
    writeText(preset, std::string(100000, 'x'));
    CliResult r = runCli(
        withTestModule({"render", "--size", "40x30", out, "--save-preset", preset, "--seed", "7"}),
        dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string saved = readText(preset);
    ASSERT_GE(saved.size(), 116u);
    EXPECT_EQ(bigEndian(saved, 0), 200u);
    EXPECT_EQ(bigEndian(saved, 96), 7u) << "the seed";
    ASSERT_EQ(bigEndian(saved, 100), 1u) << "a picture follows";
    EXPECT_EQ(saved.size(), 116u + bigEndian(saved, 112)) << "nothing of the old file is left";
    EXPECT_EQ(filesBesideOutput(dir), (std::vector<std::string>{"look.sa9", "out.png"}));

    // A file of another kind, or of a version no reader knows, is refused
    // before anything runs; the oldest and newest versions are read.
    for (uint32_t version : {179u, 201u, 0x89504E47u}) {
        std::string other = saved.substr(0, 104);
        for (int b = 0; b < 4; ++b) other[size_t(b)] = char(uint8_t(version >> (24 - 8 * b)));
        writeText(preset, other);
        r = runCli(withTestModule({"render", "--size", "4x4", out, "--preset", preset}), dir);
        EXPECT_EQ(r.code, 1) << version;
        EXPECT_TRUE(contains(r.err, "is not a presets file")) << r.err;
    }
    for (uint32_t version : {180u, 200u}) {
        // Version 180 has no gradient colours (bytes 60 to 83 of version 200).
        std::string known =
            version == 200 ? saved.substr(0, 104) : saved.substr(0, 60) + saved.substr(84, 16);
        for (int b = 0; b < 4; ++b) known[size_t(b)] = char(uint8_t(version >> (24 - 8 * b)));
        if (version == 200) known.replace(100, 4, std::string(4, '\0'));
        writeText(preset, known);
        r = runCli(withTestModule({"render", "--size", "4x4", out, "--preset", preset}), dir);
        EXPECT_EQ(r.code, 0) << version << ": " << r.err;
    }
}

TEST(CliWrite, TruncatedInputsAreRefusedUnlessAllowed) {
    const std::string dir = testFolder();
    const std::string whole = join(dir, "whole.jpg"), cut = join(dir, "cut.jpg");
    ASSERT_TRUE(writeTestImage(whole, makeImage(160, 120, 3, SampleFormat::u8)));
    const std::string bytes = readText(whole);
    writeText(cut, bytes.substr(0, bytes.size() * 6 / 10));
    const std::string out = join(dir, "out.png");
    CliResult r = runCli(withTestModule({"apply", cut, out}), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "is truncated or damaged")) << r.err;
    EXPECT_TRUE(contains(r.err, "--allow-truncated")) << r.err;
    EXPECT_FALSE(fs::exists(out));
    r = runCli(withTestModule({"apply", cut, out, "--allow-truncated"}), dir);
#ifdef _WIN32
    // The Windows builds' image reader cannot decode a cut JPEG at all: even
    // with the flag it is refused, with the reader's reason.
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "cannot decode")) << r.err;
    EXPECT_FALSE(fs::exists(out));
#else
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "warning: '" + cut + "' is truncated")) << r.err;
    EXPECT_TRUE(fs::exists(out));
#endif
    // Cut anywhere in its scan, down to the end marker's last byte: refused
    // the same way, nothing written.
    fs::remove(out);
    const size_t scan = bytes.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    for (size_t keep : {scan + 20, bytes.size() - 2, bytes.size() - 1}) {
        writeText(cut, bytes.substr(0, keep));
        r = runCli(withTestModule({"apply", cut, out}), dir);
        EXPECT_EQ(r.code, 1) << keep << " of " << bytes.size() << " bytes: " << r.err;
        EXPECT_TRUE(contains(r.err, "is truncated or damaged")) << keep << ": " << r.err;
        EXPECT_FALSE(fs::exists(out)) << keep;
    }
    // The whole file passes without a word.
    r = runCli(withTestModule({"apply", whole, out}), dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

#ifndef _WIN32

// The Windows build writes no netpbm files.
TEST(CliWrite, AGreymapIsWrittenGrayAndAPixmapInColour) {
    const std::string dir = testFolder();
    for (const char* name : {"t.pgm", "t.ppm"}) {
        const std::string out = join(dir, name);
        CliResult r = runCli(withTestModule({"render", "--size", "64x64", out}), dir);
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(readText(out).substr(0, 2), name[3] == 'g' ? "P5" : "P6") << name;
    }
}

TEST(CliWrite, OnlyRegularFilesAreReplacedAndTheirPermissionsKept) {
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(8, 6, 3, SampleFormat::u8)));
    ASSERT_EQ(::chmod(in.c_str(), 0600), 0);
    CliResult r = runCli(withTestModule({"apply", in, in}), dir);
    ASSERT_EQ(r.code, 0) << r.err;
    struct stat info;
    ASSERT_EQ(::stat(in.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "apply in place keeps a private file private";

    const std::string fifo = join(dir, "pipe.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& target : {fifo, std::string("/dev/null")}) {
        r = runCli(withTestModule({"render", "--size", "4x4", target}), dir);
        EXPECT_EQ(r.code, 1) << target;
        EXPECT_TRUE(contains(r.err, "not a regular file")) << r.err;
    }
    r = runCli(
        withTestModule({"render", "--size", "4x4", "--save-preset", fifo, join(dir, "x.png")}),
        dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "not a regular file")) << r.err;
    EXPECT_TRUE(fs::is_fifo(fifo));

    // The longest name the file system allows (the temporary's is short).
    const std::string longName = std::string(251, 'n') + ".png";
    r = runCli(withTestModule({"render", "--size", "4x4", join(dir, longName)}), dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(filesBesideOutput(dir), (std::vector<std::string>{"in.png", longName, "pipe.png"}));
}

TEST(CliWrite, SettingsThatCannotBePrintedAreAFailure) {
    const std::string dir = testFolder();
    const std::string cmd = quote(cliPath()) + " render --size 4x4 " + quote(join(dir, "o.png")) +
                            " --print-settings --module " + quote(testModulePath()) +
                            " >/dev/full 2>" + quote(join(dir, "err.txt"));
    const int status = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_TRUE(contains(readText(join(dir, "err.txt")), "cannot write the settings"));
}

// The CLI under a shell's limits: `limits` is put before it ("ulimit -f 64").
CliResult runLimited(const std::string& limits, const std::vector<std::string>& args,
                     const std::string& dir) {
    std::string cmd = limits;
    cmd.append("; exec ").append(quote(cliPath()));
    for (const std::string& a : args) cmd.append(" ").append(quote(a));
    cmd.append(" 2>").append(quote(join(dir, "cli.stderr")));
    CliResult r;
    const int status = std::system(("sh -c " + quote(cmd)).c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    r.err = readText(join(dir, "cli.stderr"));
    fs::remove(join(dir, "cli.stderr"));
    return r;
}

TEST(CliWrite, TheFileSizeLimitIsReportedAndLeavesTheOldFile) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "out.tif");
    writeText(out, "the previous picture");
    // At most 64 blocks; the picture takes some hundreds of kilobytes.
    const std::string in = join(dir, "in.png");
    ASSERT_EQ(runCli({"sample", in}, dir).code, 0); // a photo-like picture compresses little
    CliResult r = runLimited("ulimit -f 64", withTestModule({"apply", in, out}), dir);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "file too large")) << r.err;
    EXPECT_EQ(readText(out), "the previous picture");
    EXPECT_EQ(filesBesideOutput(dir), (std::vector<std::string>{"in.png", "out.tif"}));
}

TEST(CliWrite, OutOfMemoryIsReportedAsSuchAndWritesNothing) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(64, 48, 3, SampleFormat::u8)));
    const std::string out = join(dir, "out.png"), jpeg = join(dir, "out.jpg");
    // The program starts in about 50 MB (the image library is loaded only
    // to write the PNG); 300 MB hold it and the 192 MB document of an
    // 8000 x 8000 render, but not the render, which needs about 390 MB.
    CliResult r = runLimited("ulimit -v 300000", {"render", "--size", "8000x8000", out}, dir);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "out of memory")) << r.err;
    // Reading the PNG loads the image library (about 450 MB of address
    // space); a 20000 x 20000 picture alone would need 1.2 GB more.
    r = runLimited("ulimit -v 1000000", {"export", in, jpeg, "--size", "20000x20000"}, dir);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(filesBesideOutput(dir), std::vector<std::string>{"in.png"});
}

// Short of address space, loading the image library aborted or hung the
// program (a thread its dependencies start could not be made); the room is
// now checked first. The refusal says what the library needs and what is
// left; with that much more the run must then succeed, so the estimate
// covers what loading and writing really take.
TEST(CliWrite, ShortAddressSpaceIsSaidBeforeTheImageLibraryLoads) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "out.png");
    writeText(out, "the previous picture");
    const std::vector<std::string> args = withTestModule({"render", "--size", "64x64", out});
    // The CLI starts in some tens of megabytes; the library needs over 400.
    const long shortLimit = 440000;
    CliResult r = runLimited("ulimit -v " + std::to_string(shortLimit), args, dir);
    EXPECT_EQ(r.code, 1) << r.err;
    const std::string lead = "not enough address space to load the image library (ulimit -v)";
    ASSERT_TRUE(contains(r.err, lead)) << r.err;
    EXPECT_EQ(readText(out), "the previous picture");
    EXPECT_EQ(filesBesideOutput(dir), std::vector<std::string>{"out.png"});
    long neededMb = 0, leftMb = 0;
    ASSERT_EQ(std::sscanf(r.err.c_str() + r.err.find(lead) + lead.size(),
                          ": it needs about %ld MB, %ld MB are left", &neededMb, &leftMb),
              2)
        << r.err;
    EXPECT_GT(neededMb, leftMb);
    // What the CLI itself took, and just what the estimate asks for on top.
    const long enough = shortLimit - leftMb * 1024 + (neededMb + 8) * 1024;
    r = runLimited("ulimit -v " + std::to_string(enough), args, dir);
    EXPECT_EQ(r.code, 0) << enough << ": " << r.err;
    cli::Image img;
    EXPECT_TRUE(readTestImage(out, img) && img.width == 64 && img.height == 64);
}

TEST(CliWrite, CtrlCWhileTheOutputIsWrittenLeavesTheOldFile) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "out.png");
    writeText(out, "the previous picture");
    // A render that takes no time and a PNG that takes seconds to compress:
    // the interrupt comes while the file is written.
    BackgroundCli cli(
        withTestModule({"render", "--size", "5000x5000", "--depth", "16", out, "--progress"}), dir);
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(cli.waitForErr("100%", std::chrono::seconds(60))) << cli.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cli.interrupt();
    EXPECT_EQ(cli.exitCode(std::chrono::seconds(60)), 130) << cli.err();
    EXPECT_TRUE(contains(cli.err(), "interrupted")) << cli.err();
    EXPECT_EQ(readText(out), "the previous picture");
    EXPECT_EQ(filesBesideOutput(dir), std::vector<std::string>{"out.png"});
}

// A library may block every signal in the main thread and then hang there
// (one of the image library's dependencies does, short of address space):
// a termination request or a second Ctrl-C still ends the run.
TEST(CliWrite, TerminationEndsARunWhoseMainThreadBlocksEverySignal) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "out.png");
    writeText(out, "the previous picture");
    const struct {
        std::vector<int> signals;
        int ending;
    } cases[] = {{{SIGTERM}, SIGTERM}, {{SIGINT, SIGINT}, SIGINT}, {{SIGHUP}, SIGHUP}};
    for (const auto& c : cases) {
        BackgroundCli cli(withTestModule({"render", "--size", "64x64", out}), dir,
                          {{"QF_TEST_MODULE_STUCK", "1"}});
        ASSERT_TRUE(cli.started());
        ASSERT_TRUE(cli.waitForErr("every signal blocked", std::chrono::seconds(20))) << cli.err();
        for (int sig : c.signals) {
            cli.send(sig);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(cli.endingSignal(std::chrono::seconds(10)), c.ending) << cli.err();
        EXPECT_EQ(readText(out), "the previous picture");
        EXPECT_EQ(filesBesideOutput(dir), std::vector<std::string>{"out.png"});
    }
}

TEST(CliWrite, ParallelExportsToOneNameLeaveTheFileOfASuccessfulRun) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(64, 48, 3, SampleFormat::u8)));
    constexpr int kRuns = 4;
    // Each seed's picture alone, for reference.
    std::vector<std::string> alone;
    for (int i = 0; i < kRuns; ++i) {
        const std::string ref = join(dir, "ref" + std::to_string(i) + ".jpg");
        ASSERT_EQ(runCli({"export", in, ref, "--seed", std::to_string(i + 1)}, dir).code, 0);
        alone.push_back(readText(ref));
        fs::remove(ref);
    }
    const std::string out = join(dir, "shared.jpg");
    std::vector<std::thread> runs;
    std::vector<int> codes(kRuns, -1);
    for (int i = 0; i < kRuns; ++i)
        runs.emplace_back([&, i] {
            // Each run its own folder for its captured output.
            const std::string own = join(dir, "run" + std::to_string(i));
            fs::create_directory(own);
            codes[size_t(i)] =
                runCli({"export", in, out, "--seed", std::to_string(i + 1)}, own).code;
        });
    for (std::thread& t : runs) t.join();
    bool fromARun = false;
    for (int i = 0; i < kRuns; ++i) {
        EXPECT_EQ(codes[size_t(i)], 0);
        fromARun |= readText(out) == alone[size_t(i)];
    }
    EXPECT_TRUE(fromARun);
    for (int i = 0; i < kRuns; ++i) fs::remove_all(join(dir, "run" + std::to_string(i)));
    EXPECT_EQ(filesBesideOutput(dir), (std::vector<std::string>{"in.png", "shared.jpg"}));
}

TEST(CliWrite, ExportSaysWhenItLimitsTheSize) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(8, 6, 3, SampleFormat::u8)));
    const std::string out = join(dir, "out.jpg");
    CliResult r = runCli({"export", in, out, "--size", "1x1"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "written at 16x16 rather than 1x1")) << r.err;
    cli::Image img;
    ASSERT_TRUE(readTestImage(out, img));
    EXPECT_EQ(img.width, 16);
    // The input's own size counts as asked for; within the limits nothing
    // is said.
    r = runCli({"export", in, out}, dir);
    EXPECT_TRUE(contains(r.err, "written at 16x16 rather than 8x6")) << r.err;
    r = runCli({"export", in, out, "--size", "16x30000"}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

#if QF_HAVE_OIIO
// A small disk: the old files are whole afterwards, the message says what
// happened, and no temporary is left.
TEST(CliWrite, AFullDiskLeavesEveryOldFileWhole) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::string dir = testFolder();
    const std::string disk = join(dir, "disk");
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(400, 300, 3, SampleFormat::u8)));
    // A camera photo: its Exif goes into a TIFF, which the image library
    // then writes by name rather than through the CLI's own output.
    const std::string photo = join(dir, "photo.jpg");
    {
        const cli::Image img = makeImage(400, 300, 3, SampleFormat::u8);
        OIIO::ImageSpec spec(img.width, img.height, 3, OIIO::TypeDesc::UINT8);
        spec.attribute("Make", "Quillfire Test Camera");
        spec.attribute("Exif:ExposureTime", 0.01f);
        spec.attribute("Exif:DateTimeOriginal", "2026:12:08 07:00:00");
        auto out = OIIO::ImageOutput::create(photo);
        ASSERT_TRUE(out && out->open(photo, spec) &&
                    out->write_image(OIIO::TypeDesc::UINT8, img.data.data()) && out->close());
    }
    const std::vector<std::string> names = {
        "out.png", "out.tif",  "exif.tif", "out.jpg", "out.exr", "out.ppm", "out.pgm", "out.bmp",
        "out.tga", "out.webp", "out.hdr",  "out.jp2", "out.dpx", "out.psd", "look.sa9"};
    for (const std::string& n : names) writeText(join(disk, n), "old " + n);
    // Fill what is left, to the last byte.
    {
        const int fd = ::open(join(disk, "filler").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, "f", 1) > 0) {
        }
        ::close(fd);
    }
    struct Case {
        std::vector<std::string> args;
        std::string target;
        bool realModule;
    };
    const Case cases[] = {
        {{"apply", in, join(disk, "out.png")}, "out.png", false},
        {{"apply", in, join(disk, "out.tif")}, "out.tif", false},
        {{"apply", photo, join(disk, "exif.tif")}, "exif.tif", false},
        {{"apply", in, join(disk, "out.exr")}, "out.exr", false},
        {{"apply", in, join(disk, "out.ppm")}, "out.ppm", false},
        {{"render", "--size", "400x300", "--gray", join(disk, "out.pgm")}, "out.pgm", false},
        {{"apply", in, join(disk, "out.bmp")}, "out.bmp", false},
        {{"apply", in, join(disk, "out.tga")}, "out.tga", false},
        {{"apply", in, join(disk, "out.webp")}, "out.webp", false},
        {{"apply", in, join(disk, "out.hdr")}, "out.hdr", false},
        {{"apply", in, join(disk, "out.jp2")}, "out.jp2", false},
        {{"apply", in, join(disk, "out.dpx")}, "out.dpx", false},
        {{"render", "--size", "30x30", join(dir, "elsewhere.png"), "--save-preset",
          join(disk, "look.sa9")},
         "look.sa9",
         false},
        {{"export", in, join(disk, "out.jpg")}, "out.jpg", true},
        {{"export", in, join(disk, "out.psd")}, "out.psd", true},
    };
    const bool paints = probeRealModule().paints;
    for (const Case& c : cases) {
        if (c.realModule && !paints) continue;
        CliResult r = runCli(c.realModule ? c.args : withTestModule(c.args), dir);
        EXPECT_EQ(r.code, 1) << c.target << ": " << r.err;
        if (!c.realModule) {
            EXPECT_TRUE(contains(r.err, "no space left on the disk")) << c.target << ": " << r.err;
        }
        EXPECT_EQ(readText(join(disk, c.target)), "old " + c.target);
    }
    std::vector<std::string> left = filesIn(disk);
    std::vector<std::string> expected = names;
    expected.push_back("filler");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}
#endif

#endif

// Running the quillfire CLI from tests: paths, a fresh folder per test,
// capturing the exit status and both output streams, and image files
// written and read independently of the CLI where the build allows
// (OpenImageIO natively; the stb-based coders on Windows).
#pragma once

#include "host/cli/image_io.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#if QF_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;
#endif

namespace qf {}
using namespace qf;

namespace clitest {

namespace fs = std::filesystem;

using qftest::nativePath;

inline std::string fromEnv(const char* name, const char* fallback) {
    if (const char* v = std::getenv(name); v && *v) return nativePath(v);
    return nativePath(fallback ? fallback : "");
}

inline std::string cliPath() {
#ifdef QF_DEFAULT_CLI
    return fromEnv("QF_CLI", QF_DEFAULT_CLI);
#else
    return fromEnv("QF_CLI", nullptr);
#endif
}

inline std::string testModulePath() {
    return nativePath(QF_CLI_TEST_MODULE);
}

// A fresh, empty folder for the running test.
inline std::string testFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    fs::path dir = qftest::suiteTemporaryFolder() / "cli" / name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    return dir.string();
}

inline std::string join(const std::string& folder, const std::string& name) {
    return (fs::path(folder) / name).string();
}

// Names of the files in a folder, sorted.
inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

// Sets environment variables for the life of the object.
class ScopedEnv {
  public:
    explicit ScopedEnv(std::map<std::string, std::string> vars) : vars_(std::move(vars)) {
        for (const auto& [k, v] : vars_) set(k, v);
    }
    ~ScopedEnv() {
        for (const auto& [k, v] : vars_) set(k, "");
    }

  private:
    static void set(const std::string& k, const std::string& v) {
#ifdef _WIN32
        _putenv_s(k.c_str(), v.c_str());
#else
        if (v.empty())
            unsetenv(k.c_str());
        else
            setenv(k.c_str(), v.c_str(), 1);
#endif
    }
    std::map<std::string, std::string> vars_;
};

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;

    // The lines of stderr.
    std::vector<std::string> errLines() const {
        std::vector<std::string> lines;
        std::stringstream s(err);
        for (std::string line; std::getline(s, line);) lines.push_back(line);
        return lines;
    }
};

inline std::string quote(const std::string& s) {
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

// Runs the CLI with `args`; stdout and stderr go through files in `folder`.
inline CliResult runCli(const std::vector<std::string>& args, const std::string& folder,
                        const std::map<std::string, std::string>& env = {}) {
    ScopedEnv scoped(env);
    const std::string outFile = join(folder, "cli.stdout"), errFile = join(folder, "cli.stderr");
    std::string cmd = quote(cliPath());
    for (const auto& a : args) cmd.append(" ").append(quote(a));
    cmd.append(" >").append(quote(outFile)).append(" 2>").append(quote(errFile));
#ifdef _WIN32
    cmd.insert(cmd.begin(), '"'); // cmd.exe strips one pair of quotes around the whole line
    cmd.push_back('"');
#endif
    CliResult r;
    int status = std::system(cmd.c_str());
#ifdef _WIN32
    // Under Wine on a loaded machine the CLI has failed to start in two
    // ways, each once in a whole test run: the interpreter itself did not start
    // (the runtime answers -1, no stderr written), or it did not find the
    // program it had started a moment before (its status 9009, "... as an
    // internal or external command"). The CLI never ran either time: start
    // it once more and, if the interpreter fails again, say so.
    const auto notStarted = [&errFile](int s) {
        return s == -1 || (s == 9009 && readText(errFile).find("internal or external command") !=
                                            std::string::npos);
    };
    if (notStarted(status)) status = std::system(cmd.c_str());
    const int startError = errno;
    r.code = status;
    if (status == -1) {
        r.err = "the command interpreter did not start: " + std::string(std::strerror(startError));
        return r;
    }
#else
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    // Lines end in CRLF on Windows; the progress bar's lone CRs stay.
    auto unixLines = [](std::string t) {
        for (size_t at; (at = t.find("\r\n")) != std::string::npos;) t.erase(at, 1);
        return t;
    };
    r.out = unixLines(readText(outFile));
    r.err = unixLines(readText(errFile));
    std::error_code ec;
    fs::remove(outFile, ec);
    fs::remove(errFile, ec);
    return r;
}

#ifndef _WIN32
// The CLI running in the background, its output going to files in a folder,
// for tests that interrupt it.
class BackgroundCli {
  public:
    BackgroundCli(const std::vector<std::string>& args, const std::string& folder,
                  const std::map<std::string, std::string>& env = {})
        : errFile_(join(folder, "cli.stderr")), outFile_(join(folder, "cli.stdout")) {
        ScopedEnv scoped(env);
        std::vector<std::string> argv = {cliPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        spawned_ = posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) == 0;
        if (!spawned_) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackgroundCli() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        std::error_code ec;
        fs::remove(errFile_, ec);
        fs::remove(outFile_, ec);
    }
    bool started() const { return spawned_; }
    std::string err() const { return readText(errFile_); }

    // Waits until stderr holds `text`, the program ended or `limit` passed;
    // whether the text appeared.
    bool waitForErr(const std::string& text, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (err().find(text) != std::string::npos) return true;
            if (finished()) return err().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void interrupt() { send(SIGINT); }
    void send(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }
    // The signal that ended the program within `limit`; -1 when it exited,
    // or is still running (it is then killed).
    int endingSignal(std::chrono::milliseconds limit) {
        if (!endsWithin(limit)) return -1;
        return WIFSIGNALED(status_) ? WTERMSIG(status_) : -1;
    }
    // The exit status once the program ended within `limit`; -1 when it
    // was killed or is still running (it is then killed).
    int exitCode(std::chrono::milliseconds limit) {
        if (!endsWithin(limit)) return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

  private:
    bool endsWithin(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!finished() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return spawned_ && finished();
    }
    bool finished() {
        if (pid_ <= 0) return true;
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
        return pid_ == 0;
    }

    std::string errFile_, outFile_;
    bool spawned_ = false;
    pid_t pid_ = -1;
    int status_ = 0;
};
#endif

// --- images, independently of the CLI where possible ----------------------------

inline bool writeTestImage(const std::string& path, const cli::Image& img) {
#if QF_HAVE_OIIO
    using namespace OIIO;
    auto out = ImageOutput::create(path);
    if (!out) return false;
    TypeDesc t = img.format == cli::SampleFormat::u8    ? TypeDesc::UINT8
                 : img.format == cli::SampleFormat::u16 ? TypeDesc::UINT16
                                                        : TypeDesc::FLOAT;
    ImageSpec spec(img.width, img.height, img.channels, t);
    if (img.channels == 2 || img.channels == 4) spec.alpha_channel = img.channels - 1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    return out->open(path, spec) && out->write_image(t, img.data.data()) && out->close();
#else
    std::string error;
    return cli::writeImageStb(path, img, error);
#endif
}

inline bool readTestImage(const std::string& path, cli::Image& img) {
#if QF_HAVE_OIIO
    using namespace OIIO;
    ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = ImageInput::open(path, &config);
    if (!in) return false;
    const ImageSpec& spec = in->spec();
    img.width = spec.width;
    img.height = spec.height;
    img.channels = spec.nchannels;
    TypeDesc t;
    if (spec.format == TypeDesc::UINT8) {
        img.format = cli::SampleFormat::u8;
        t = TypeDesc::UINT8;
    } else if (spec.format == TypeDesc::UINT16) {
        img.format = cli::SampleFormat::u16;
        t = TypeDesc::UINT16;
    } else {
        img.format = cli::SampleFormat::f32;
        t = TypeDesc::FLOAT;
    }
    img.data.resize(img.rowBytes() * size_t(img.height));
    return in->read_image(0, 0, 0, img.channels, t, img.data.data());
#else
    std::string error;
    return cli::readImageStb(path, img, error);
#endif
}

// A test picture: every sample different, in the format's own range.
inline cli::Image makeImage(int32_t w, int32_t h, int channels, cli::SampleFormat format) {
    cli::Image img;
    img.width = w;
    img.height = h;
    img.channels = channels;
    img.format = format;
    img.data.resize(img.rowBytes() * size_t(h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                const size_t i = (size_t(y) * size_t(w) + size_t(x)) * size_t(channels) + size_t(c);
                const int v = (x * 37 + y * 91 + c * 53) % 256;
                if (format == cli::SampleFormat::u8) {
                    img.data[i] = uint8_t(v);
                } else if (format == cli::SampleFormat::u16) {
                    const uint16_t s = uint16_t(v * 257 + (x % 3));
                    std::memcpy(img.data.data() + 2 * i, &s, 2);
                } else {
                    const float f = float(v) / 255.0f;
                    std::memcpy(img.data.data() + 4 * i, &f, 4);
                }
            }
    return img;
}

// One sample as a double in the file's units.
inline double sampleOf(const cli::Image& img, int32_t x, int32_t y, int c) {
    const size_t i = (size_t(y) * size_t(img.width) + size_t(x)) * size_t(img.channels) + size_t(c);
    if (img.format == cli::SampleFormat::u8) return img.data[i];
    if (img.format == cli::SampleFormat::u16) {
        uint16_t v;
        std::memcpy(&v, img.data.data() + 2 * i, 2);
        return v;
    }
    float f;
    std::memcpy(&f, img.data.data() + 4 * i, 4);
    return f;
}

// --- running the CLI's commands ------------------------------------------------

// The arguments with the suite's stand-in module.
inline std::vector<std::string> withTestModule(std::vector<std::string> args) {
    args.push_back("--module");
    args.push_back(testModulePath());
    return args;
}

// The files of a test's folder but the CLI's captured output.
inline std::vector<std::string> filesBesideOutput(const std::string& dir) {
    std::vector<std::string> names;
    for (const std::string& n : filesIn(dir))
        if (n != "cli.stderr" && n != "cli.stdout") names.push_back(n);
    return names;
}

// Whether the module beside the CLI paints: it must load and run; a module
// that runs but leaves the document as it was has not landed its renderer yet.
struct ModuleProbe {
    bool ran = false;
    bool paints = false;
    std::string error;
};

inline const ModuleProbe& probeRealModule() {
    static ModuleProbe probe;
    static bool done = false;
    if (!done) {
        done = true;
        // A folder of its own: the calling test's folder may already hold
        // its files (testFolder() would empty it).
        const fs::path probeDir = qftest::suiteTemporaryFolder() / "cli" / "module-probe";
        std::error_code ec;
        fs::remove_all(probeDir, ec);
        fs::create_directories(probeDir);
        const std::string dir = probeDir.string();
        const std::string out = join(dir, "probe.png");
        CliResult r = runCli({"render", "--size", "16x16", out}, dir);
        cli::Image img;
        probe.ran = r.code == 0 && readTestImage(out, img);
        probe.error = r.err;
        if (probe.ran)
            for (uint8_t v : img.data) probe.paints |= v != 255;
    }
    return probe;
}

#define SKIP_UNLESS_MODULE_PAINTS()                                                                \
    do {                                                                                           \
        const ModuleProbe& probe = probeRealModule();                                              \
        ASSERT_TRUE(probe.ran) << "the module beside the CLI does not run: " << probe.error;       \
        if (!probe.paints) GTEST_SKIP() << "the module beside the CLI does not paint yet";         \
    } while (false)

} // namespace clitest

// quillfire: runs the filter module on image files without an editor.
#include "host/cli/document_image.h"
#include "host/cli/dots_command.h"
#include "host/cli/file_util.h"
#include "host/cli/gallery_command.h"
#include "host/cli/image_io.h"
#include "host/cli/jpeg_metadata.h"
#include "host/cli/options.h"
#include "host/cli/presets_bridge.h"
#include "host/cli/progress_bar.h"
#include "host/cli/random_look.h"
#include "host/cli/sample_picture.h"
#include "host/cli/settings.h"
#include "host/cli/signal_thread.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "platform/safe_write.h"
#include "values/result_codes.h"
#include "values/version.h"

#include <qf_commit.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

using namespace qf;

namespace {

using cli::fail;
using cli::Options;

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitCancelled = 130 };

// The status of a write that failed: cancelled when Ctrl-C stopped it.
int writeFailedStatus() {
    return writeInterruptRequested() ? kExitCancelled : kExitFailed;
}

std::string runFailure(const host::RunRecord& rec, bool haveMask) {
    if (!rec.hostError.empty()) {
        if (haveMask && rec.hostError == "nothing is selected") return "the mask selects nothing";
        return rec.hostError;
    }
    // The module's own codes come from its table; the host knows only the
    // published ones.
    const ResultCodeInfo* info = resultCodeInfo(rec.result);
    std::string text = info ? info->message : host::describeResult(rec.result);
    // The PSD export's own codes: the file layer's and the picture's.
    if (rec.result == 99) text = "the output file cannot be created";
    if (rec.result == -99) text = "out of memory: the picture cannot be held";
    if (rec.result == errReportString && !rec.errorString.empty()) return rec.errorString;
    if (!rec.errorString.empty()) text += ": " + rec.errorString;
    return text;
}

// Loads the module, runs the filter over the document and reports a
// failure; an exit code. `settingsOut` receives the settings the module
// reported at finish.
int filterDocument(host::Document& doc, const Options& o,
                   std::optional<host::Descriptor>& settingsOut) {
    const std::string path =
        o.modulePath.empty() ? host::executableFolder() + host::moduleFileName() : o.modulePath;
    std::string error;
    auto module = host::Module::load(path, &error);
    if (!module) {
        fail("cannot load the filter module '" + path + "': " + error);
        return kExitFailed;
    }
    cli::ProgressBar bar(o.progressLabel, cli::stderrIsTerminal(), o.progress);
    host::HostOptions ho;
    ho.hostSig = o.hostSig;
    ho.onProgress = [&bar](int32_t done, int32_t total) { bar.update(done, total); };
    // Ctrl-C (installCliSignalHandlers in main) cancels the run.
    ho.onAbortTest = [] { return writeInterruptRequested(); };
    host::RunOptions ro;
    if (o.dialog) {
        // As an editor asks for the dialog: the parameters selector first,
        // and a descriptor whose play mode shows it.
        ho.descriptors.playInfo = plugInDialogDisplay;
        ro.showDialog = true;
    }
    host::FilterHost filterHost(module->entry(), ho);
    // Always a descriptor, empty when no setting was given, so that every run
    // starts from the module's defaults rather than from whatever it last
    // remembered.
    cli::Settings settings = o.settings;
    if (!o.presetPath.empty()) {
        std::string presetError;
        if (!cli::settingsFromPresetsFile(o.presetPath, settings, presetError)) {
            fail(presetError);
            return kExitFailed;
        }
    }
    if (o.randomize) {
        uint32_t state = 0;
        if (o.randomState) {
            state = *o.randomState;
        } else {
            state = cli::freshRandomState();
            std::fprintf(stderr, "quillfire: random state %u (--random-state %u repeats it)\n",
                         unsigned(state), unsigned(state));
        }
        cli::applyRandomChange(settings, *o.randomize, state);
    }
    ro.descriptor = settings.toDescriptor();
    for (const host::DescriptorItem& item : o.extraKeys.items()) ro.descriptor->add(item);

    host::RunRecord rec = filterHost.run(doc, ro);
    bar.finish(rec.ok());
    if (!rec.ok()) {
        fail(runFailure(rec, doc.hasMask()));
        return rec.result == userCanceledErr ? kExitCancelled : kExitFailed;
    }
    settingsOut = std::move(rec.descriptorOut);
    return kExitOk;
}

// After a complete run: the settings kept as a presets file, when asked for.
bool savePreset(const Options& o, const std::optional<host::Descriptor>& settings,
                const host::Document& result) {
    if (o.savePresetPath.empty()) return true;
    std::string error;
    if (!settings)
        error = "the module reported no settings to keep";
    else if (cli::savePresetsFile(o.savePresetPath, *settings, result, error))
        return true;
    fail(error);
    return false;
}

// After a complete run: the settings the module used, when asked for.
// False when they could not be written (a full disk, a closed pipe).
bool printSettings(const Options& o, const std::optional<host::Descriptor>& settings) {
    if (!o.printSettings) return true;
    if (!settings) {
        fail("the module reported no settings");
        return true;
    }
    std::vector<std::string> outOfRange;
    const std::string flags = cli::describeSettings(*settings, &outOfRange);
    for (const std::string& note : outOfRange)
        fail("note: " + note + "; no flag reproduces it, so it is left out");
    const bool written = std::printf("%s\n", flags.c_str()) >= 0;
    if (std::fflush(stdout) != 0 || !written || std::ferror(stdout)) {
        fail("cannot write the settings to the standard output");
        return false;
    }
    return true;
}

// An input image; a truncated one only with --allow-truncated, and then with
// a warning.
bool readInput(const Options& o, const std::string& path, cli::Image& image, std::string& error) {
    std::string warning;
    if (!cli::readImage(path, image, error, o.allowTruncated, &warning)) return false;
    if (!warning.empty()) fail("warning: " + warning);
    return true;
}

// The document of INPUT (the first positional argument), and the image it
// was read from; false after printing why it cannot be had.
bool readDocument(const Options& o, cli::Image& image, host::Document& doc) {
    std::string error;
    if (readInput(o, o.positional[0], image, error) && cli::documentFromImage(image, doc, error))
        return true;
    fail(error);
    return false;
}

bool applyMask(const Options& o, host::Document& doc) {
    if (o.maskPath.empty()) return true;
    cli::Image maskImage;
    std::string error;
    std::vector<uint8_t> mask;
    if (!readInput(o, o.maskPath, maskImage, error) ||
        !cli::maskFromImage(maskImage, doc, mask, error)) {
        fail(error);
        return false;
    }
    doc.setMask(std::move(mask));
    return true;
}

// An exit code: an output that could not be written is a failure, or a
// cancellation when Ctrl-C stopped it.
int writeOutput(const std::string& path, host::Document&& doc, cli::Image& like) {
    std::string error, warning;
    if (!cli::imageFromDocument(std::move(doc), like, error) ||
        !cli::writeImage(path, like, error, &warning)) {
        fail(error);
        return writeFailedStatus();
    }
    if (!warning.empty()) fail("warning: '" + path + "': " + warning);
    return kExitOk;
}

// One line and false when the command did not get exactly `names`.
bool havePositional(const Options& o, const std::vector<std::string>& names) {
    const std::string error = cli::positionalError(o, names);
    if (!error.empty()) fail(error);
    return error.empty();
}

int commandApply(const Options& o) {
    if (!havePositional(o, {"INPUT", "OUTPUT"})) return kExitUsage;
    cli::Image image;
    host::Document doc;
    if (!readDocument(o, image, doc)) return kExitFailed;
    // The document holds the pixels now; the image keeps only what the
    // output takes over (format, profile).
    std::vector<uint8_t>().swap(image.data);
    if (!applyMask(o, doc)) return kExitFailed;
    std::vector<float> alpha;
    if (o.keepTransparency) {
        alpha = cli::transparencyOf(doc);
        if (alpha.empty())
            fail("warning: '" + o.positional[0] +
                 "' has no transparency; --keep-transparency changes nothing");
    }
    std::optional<host::Descriptor> settings;
    int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    if (!alpha.empty()) cli::limitTransparency(doc, alpha);
    if (!savePreset(o, settings, doc)) return writeFailedStatus();
    if (o.quality) image.quality = *o.quality;
    code = writeOutput(o.positional[1], std::move(doc), image);
    if (code != kExitOk) return code;
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

// The module limits each side of an exported picture to 2..30000 pixels,
// and the JPEG writer raises each to at least 16: say so when the picture
// did not get the size asked for.
void reportExportSize(const Options& o, int32_t inputWidth, int32_t inputHeight, bool jpeg) {
    auto side = [jpeg](int32_t asked) {
        const int32_t limited = std::clamp<int32_t>(asked, 2, 30000);
        return jpeg ? std::max<int32_t>(limited, 16) : limited;
    };
    const int32_t w = o.width ? o.width : inputWidth, h = o.height ? o.height : inputHeight;
    if (side(w) == w && side(h) == h) return;
    fail("warning: the picture is written at " + std::to_string(side(w)) + "x" +
         std::to_string(side(h)) + " rather than " + std::to_string(w) + "x" + std::to_string(h) +
         (jpeg ? ": each side of an exported JPEG is 16 to 30000 pixels"
               : ": each side of an exported picture is 2 to 30000 pixels"));
}

enum class ExportFileKind { unknown, jpeg, psd };

// The file kind the output's extension names, in any letter case.
ExportFileKind exportFileKind(const std::string& path) {
    const size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') return ExportFileKind::unknown;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpg" || ext == "jpeg") return ExportFileKind::jpeg;
    if (ext == "psd") return ExportFileKind::psd;
    return ExportFileKind::unknown;
}

// The pattern rendered over a copy of INPUT at --size (default: the
// input's size), written by the module itself as a JPEG or PSD file. The module
// writes beside the target and renames, so a failed or cancelled export
// leaves an existing file alone.
int commandExport(Options o) {
    if (!havePositional(o, {"INPUT", "OUTPUT"})) return kExitUsage;
    // The module writes the format the output's extension names.
    const ExportFileKind kind = exportFileKind(o.positional[1]);
    if (kind == ExportFileKind::unknown) {
        fail("export writes .jpg, .jpeg or .psd files; '" + o.positional[1] +
             "' names none of them");
        return kExitUsage;
    }
    cli::Image image;
    host::Document doc;
    if (!readDocument(o, image, doc)) return kExitFailed;
    const int32_t inputWidth = image.width, inputHeight = image.height;
    std::vector<uint8_t>().swap(image.data);
    // The module writes a temporary of ours beside the output, which takes
    // the output's place only once the run succeeded and was not
    // interrupted: parallel exports to one name never share a file, and a
    // failure or Ctrl-C at any moment leaves an existing output as it was.
    const std::string out = cli::absolutePath(o.positional[1]);
    std::string error;
    SafeWrite file;
    if (!cli::openOutput(file, out, error)) {
        fail(error);
        return kExitFailed;
    }
    const std::string temporary = file.handOver();
    if (temporary.size() >= 260) {
        fail("the output folder's path is too long: '" + o.positional[1] + "'");
        return kExitFailed;
    }
    o.extraKeys.putText(kKeyExportPath, temporary)
        .putInteger(kKeyExportWidth, o.width)
        .putInteger(kKeyExportHeight, o.height)
        .putInteger(kKeyExportQuality, o.quality.value_or(cli::kExportQuality));
    o.hostSig = kOwnHostSignature;
    o.progressLabel = "quillfire: exporting";
    std::optional<host::Descriptor> settings;
    const int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    // A module that does not know the export keys runs as a plain filter
    // and reports success without writing anything.
    if (cli::fileSize(temporary) <= 0) {
        fail("the module wrote no file to '" + o.positional[1] + "' (does it export?)");
        return kExitFailed;
    }
    // A camera photo's Exif, XMP, IPTC and profile go with the picture, in
    // place of the module's own blocks.
    if (kind == ExportFileKind::jpeg &&
        !cli::carryMetadataInto(o.positional[0], image.iccProfile, temporary, error)) {
        fail(error);
        return writeFailedStatus();
    }
    if (!cli::commitOutput(file, o.positional[1], error)) {
        fail(error);
        return writeFailedStatus();
    }
    reportExportSize(o, inputWidth, inputHeight, kind == ExportFileKind::jpeg);
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

int commandRender(const Options& o) {
    if (!havePositional(o, {"OUTPUT"})) return kExitUsage;
    if (!o.width) {
        fail("render needs --size WxH");
        return kExitUsage;
    }
    const int depth = o.depth ? o.depth : 8;
    // A .pgm is a greymap: rendered gray, as --gray does.
    const bool gray = o.gray || cli::extensionOf(o.positional[0]) == ".pgm";
    std::string error;
    host::Document doc = host::Document::make(o.width, o.height,
                                              gray ? host::ColorModel::gray : host::ColorModel::rgb,
                                              depth, host::Transparency::none, &error);
    if (!doc.valid()) {
        fail(error);
        return kExitFailed;
    }
    doc.fill({doc.maxSample(), doc.maxSample(), doc.maxSample()});
    if (!applyMask(o, doc)) return kExitFailed;
    std::optional<host::Descriptor> settings;
    int code = filterDocument(doc, o, settings);
    if (code != kExitOk) return code;
    if (!savePreset(o, settings, doc)) return writeFailedStatus();
    cli::Image like;
    code = writeOutput(o.positional[0], std::move(doc), like);
    if (code != kExitOk) return code;
    return printSettings(o, settings) ? kExitOk : kExitFailed;
}

int commandSample(const Options& o) {
    if (!havePositional(o, {"OUTPUT"})) return kExitUsage;
    std::string error;
    if (!cli::writeImage(o.positional[0], cli::makeSamplePicture(), error)) {
        fail(error);
        return writeFailedStatus();
    }
    return kExitOk;
}

std::vector<std::string> arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    // The wide command line, so that paths outside the code page survive.
    int n = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wargv) {
        for (int i = 1; i < n; ++i) {
            int len = WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, nullptr, 0, nullptr, nullptr);
            std::string s(size_t(len > 0 ? len : 1), '\0');
            if (len > 0)
                WideCharToMultiByte(CP_UTF8, 0, wargv[i], -1, s.data(), len, nullptr, nullptr);
            s.resize(std::char_traits<char>::length(s.c_str()));
            args.push_back(s);
        }
        LocalFree(wargv);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

// --help and --version, wherever they stand before "--" (file names
// follow it): true when one was answered.
bool answerHelpOrVersion(const std::vector<std::string>& args, const cli::Command* command) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h" || a == "help") {
            std::fputs(command ? cli::commandUsage(*command).c_str() : cli::usage().c_str(),
                       stdout);
            return true;
        }
        if (a == "--version") {
            // The commit on a line of its own: the first line stays what
            // scripts read.
            std::puts("quillfire " QF_VERSION_TEXT);
            if (QF_COMMIT_TEXT[0] != '\0') std::puts("commit " QF_COMMIT_TEXT);
            return true;
        }
    }
    return false;
}

// The dots command (args after its name): list and show only print; apply N
// is apply with the dot's file as its presets file, read into o. False when
// the program ends here, with its exit code in `code`.
bool readDotsArguments(const std::vector<std::string>& args, Options& o, int& code) {
    int64_t n = 0;
    const bool numbered = args.size() >= 2 && cli::parseInt(args[1], 1, 25, n);
    code = kExitUsage;
    if (args.size() == 1 && args[0] == "list") {
        code = cli::listDots();
        return false;
    }
    if (args.size() == 2 && args[0] == "show" && numbered) {
        code = cli::showDot(int(n));
        return false;
    }
    if (args.empty() || args[0] != "apply" || !numbered) {
        fail("dots takes list, show N or apply N INPUT OUTPUT, with N from 1 to 25 (see "
             "quillfire dots --help)");
        return false;
    }
    o.command = cli::findCommand("apply");
    if (!cli::parseArguments(std::vector<std::string>(args.begin() + 2, args.end()), o))
        return false;
    if (!o.presetPath.empty()) {
        fail("dots apply takes its settings from the dot; --preset does not apply");
        return false;
    }
    std::string error;
    if (!cli::filledDotPath(int(n), o.presetPath, error)) {
        fail(error);
        code = kExitFailed;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = arguments(argc, argv);
    if (args.empty()) {
        std::fputs(cli::shortUsage().c_str(), stderr);
        return kExitUsage;
    }
    const cli::Command* command = cli::findCommand(args[0]);
    if (answerHelpOrVersion(args, command)) return kExitOk;
    if (!command) {
        std::vector<std::string> names;
        for (const cli::Command& c : cli::commands()) names.emplace_back(c.name);
        fail("unknown command '" + args[0] + "'" +
             cli::suggestionText(cli::nearestNames(args[0], names)) +
             " (commands: " + cli::commandNames() + "; see quillfire --help)");
        return kExitUsage;
    }
    Options o;
    o.command = command;
    args.erase(args.begin());
    // The gallery reads its own few options.
    if (std::string(command->name) == "gallery") {
        cli::installCliSignalHandlers();
        return cli::commandGallery(args);
    }
    if (std::string(command->name) == "dots") {
        int code = kExitOk;
        if (!readDotsArguments(args, o, code)) return code;
    } else if (!cli::parseArguments(args, o)) {
        return kExitUsage;
    }
    // Ctrl-C cancels; a second Ctrl-C or a termination request removes any
    // temporary output and ends the program; the file-size limit becomes a
    // reported write error.
    cli::installCliSignalHandlers();
    try {
        const std::string name = o.command->name;
        if (name == "apply") return commandApply(o);
        if (name == "render") return commandRender(o);
        if (name == "export") return commandExport(o);
        return commandSample(o);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
        return kExitFailed;
    } catch (const std::exception& e) {
        fail(std::string("internal error: ") + e.what());
        return kExitFailed;
    }
}

#include "plugin/picture_export.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "composite/picture/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_writer.h"
#include "export/psd_writer.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "plugin/host_access.h"
#include "plugin/host_handles.h"
#include "plugin/image_render.h"
#include "plugin/module_call.h"
#include "values/name_tables.h"

namespace qf {

namespace {

// A file written under a name of its own beside its target, moved over the
// target only when complete and deleted otherwise.
class PartialFile {
  public:
    explicit PartialFile(const char* target) : target_(target) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() { discard(); }

    // Creates the temporary file. kFileOk or kFileCannotOpen.
    int create() {
        static std::atomic<uint32_t> serial{0};
        const uintptr_t here = reinterpret_cast<uintptr_t>(&serial);
        for (int attempt = 0; attempt < 16; ++attempt) {
            char suffix[48];
            std::snprintf(suffix, sizeof suffix, ".%08x%04x.partial",
                          unsigned(monotonicMilliseconds() ^ (here >> 4)),
                          unsigned(serial.fetch_add(1) & 0xFFFF));
            path_ = target_ + suffix;
            if (fileExists(path_.c_str())) continue;
            if (file_.openForWriting(path_.c_str()) != kFileOk) break;
            return kFileOk;
        }
        path_.clear();
        return kFileCannotOpen;
    }

    File& file() { return file_; }

    // Ends the file where its data ends, closes it and moves it over the
    // target. kFileOk, kFileWriteFailed or kFileCannotOpen; the temporary
    // file is gone either way.
    int commit() {
        int result = file_.setEndOfFile();
        const int closed = file_.close();
        if (result == kFileOk) result = closed;
        if (result == kFileOk) result = replaceFile(path_.c_str(), target_.c_str());
        if (result == kFileOk) path_.clear();
        discard();
        return result;
    }

    void discard() {
        file_.close();
        if (!path_.empty()) deleteFile(path_.c_str());
        path_.clear();
    }

  private:
    std::string target_;
    std::string path_;
    File file_;
};

bool endsWithNoCase(const char* text, const char* tail) {
    const size_t n = std::strlen(text), m = std::strlen(tail);
    if (n < m) return false;
    for (size_t i = 0; i < m; ++i)
        if (std::tolower(static_cast<unsigned char>(text[n - m + i])) != tail[i]) return false;
    return true;
}

// The export's size: the request's, else the filter rectangle's, within
// what the export dialogs allow.
void exportSize(const ModuleCall& call, const ExportRequest& request, int32_t& w, int32_t& h) {
    const PixelRect filter = getFilterRect(*call.record);
    w = clampPsdSide(request.width > 0 ? request.width : filter.width());
    h = clampPsdSide(request.height > 0 ? request.height : filter.height());
}

// The keywords that describe the pattern and the picture's depth.
void addPatternKeywords(IptcBlock& iptc, const SettingsRecord& s, bool floatPicture) {
    if (floatPicture) {
        addIptcKeyword(iptc, "HDR");
        addIptcKeyword(iptc, "high dynamic range");
    }
    addIptcKeyword(iptc, shapeName(s.shape).c_str());
    if (s.stripeKind >= 1 && s.stripeKind <= 4)
        addIptcKeyword(iptc, ("stripe_" + stripeKindName(s.stripeKind)).c_str());
    if (s.merge >= 1 && s.merge <= 4) addIptcKeyword(iptc, ("merge_" + mergeName(s.merge)).c_str());
    if (s.glue != 1) addIptcKeyword(iptc, glueMenuName(s.glue).c_str());
}

// The document's colour profile as the host lends it, locked while held;
// empty when the host gives none or its size cannot be confirmed.
class HostProfile {
  public:
    explicit HostProfile(const FilterRecord& fr) {
        HandleProcs* hp = fr.handleProcs;
        const Handle h = fr.iCCprofileData;
        if (!h || fr.iCCprofileSize <= 0 || !hp || !hp->getSizeProc || !hp->lockProc ||
            !hp->unlockProc)
            return;
        if (hp->getSizeProc(h) < fr.iCCprofileSize) return;
        lock_ = LockedHandle(*hp, h, 0);
        if (lock_) length_ = size_t(fr.iCCprofileSize);
    }
    const uint8_t* data() const {
        return length_ ? reinterpret_cast<const uint8_t*>(lock_.data()) : nullptr;
    }
    size_t length() const { return length_; }

  private:
    LockedHandle lock_;
    size_t length_ = 0;
};

int16_t exportJpeg(ModuleCall& call, const ExportRequest& request) {
    int32_t w = 0, h = 0;
    exportSize(call, request, w, h);
    PyramidImage picture;
    if (!createImage(&picture, w, h, documentPictureKind(call), kPyramidClamp, false))
        return memFullErr;
    const int16_t rendered = renderIntoImage(call, picture, true);
    if (rendered != 0) return rendered;

    PartialFile out(request.path);
    if (out.create() != kFileOk) return writErr;
    IptcBlock iptc;
    ExifBlock exif;
    JpegRequest jpeg;
    jpeg.source = &picture;
    jpeg.rect = PixelRect{0, 0, h, w};
    jpeg.file = &out.file();
    jpeg.quality = request.quality;
    jpeg.iptc = &iptc;
    jpeg.exif = &exif;
    // The picture is not needed after this; its tiles go as the encoder
    // takes them in.
    jpeg.releaseSource = &picture;
    const int written = writeJpeg(jpeg);
    // Without the memory to compress the writer left nothing in the file:
    // that is a lack of memory, not of disk.
    if (written == kJpegNoBuffer) return memFullErr;
    if (written != kJpegWriteOk || out.commit() != kFileOk) return writErr;
    return noErr;
}

int16_t exportPsd(ModuleCall& call, const ExportRequest& request) {
    int32_t w = 0, h = 0;
    exportSize(call, request, w, h);
    const int32_t kind = documentPictureKind(call);
    if (!psdSizeFits(w, h, psdBytesPerSample(kind))) return paramErr;
    call.settings->exportKind = 6;

    // The file first: when it cannot be made, nothing is rendered.
    PartialFile out(request.path);
    if (out.create() != kFileOk) return kExportCannotCreate;
    PyramidImage picture;
    if (!createImage(&picture, w, h, kind, kPyramidClamp, false)) return kExportNoPicture;
    const int16_t rendered = renderIntoImage(call, picture, false);
    if (rendered != 0) return rendered;

    IptcBlock iptc;
    addPatternKeywords(iptc, *call.settings, kind == kPyramidRGBAFloat);
    ExifBlock exif;
    const HostProfile profile(*call.record);
    PsdRequest psd;
    psd.picture = &picture;
    psd.file = &out.file();
    psd.iccProfile = profile.data();
    psd.iccLength = profile.length();
    psd.iptc = &iptc;
    psd.exif = &exif;
    if (writePsd(psd) != kPsdWriteOk || out.commit() != kFileOk) return writErr;
    return noErr;
}

} // namespace

ExportFormat exportFormatOf(const char* path) {
    return path && endsWithNoCase(path, ".psd") ? ExportFormat::Psd : ExportFormat::Jpeg;
}

int16_t exportPicture(ModuleCall& call, const ExportRequest& request) {
    if (!call.record || !call.settings || !request.requested || request.path[0] == '\0')
        return paramErr;
    return exportFormatOf(request.path) == ExportFormat::Psd ? exportPsd(call, request)
                                                             : exportJpeg(call, request);
}

} // namespace qf

#include "host/cli/image_io.h"

#include "host/cli/file_util.h"

#if QF_HAVE_OIIO
#include <OpenImageIO/imageio.h>
#endif

#include <new>

namespace qf {}
using namespace qf;

namespace cli {
namespace {

#if QF_HAVE_OIIO
using OIIO::ImageInput;
using OIIO::ImageOutput;
using OIIO::ImageSpec;
using OIIO::TypeDesc;

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool readOiio(const std::string& path, Image& out, std::string& error) {
    if (!fileExists(path)) {
        error = "cannot open '" + path + "': no such file";
        return false;
    }
    if (isDirectory(path)) {
        error = "'" + path + "' is a folder";
        return false;
    }
    // Keep straight (unassociated) alpha as the file stores it: the filter
    // works on straight colour.
    ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = ImageInput::open(path, &config);
    if (!in) {
        error = "cannot read '" + path + "': " + oneLine(OIIO::geterror());
        return false;
    }
    const ImageSpec& spec = in->spec();
    if (spec.deep) {
        error = "'" + path + "' is a deep image, which is not supported";
        return false;
    }
    if (spec.nchannels < 1 || spec.nchannels > 4) {
        error = "'" + path + "' has " + std::to_string(spec.nchannels) +
                " channels; 1 to 4 (gray, gray + alpha, RGB, RGBA) are supported";
        return false;
    }
    if (spec.width < 1 || spec.height < 1 || spec.width > kMaxImageSide ||
        spec.height > kMaxImageSide || spec.depth > 1) {
        error = "'" + path + "' has an unsupported size";
        return false;
    }
    Image img;
    TypeDesc want;
    switch (spec.format.basetype) {
    case TypeDesc::UINT8:
        img.format = SampleFormat::u8;
        want = TypeDesc::UINT8;
        break;
    case TypeDesc::UINT16:
        img.format = SampleFormat::u16;
        want = TypeDesc::UINT16;
        break;
    case TypeDesc::HALF:
    case TypeDesc::FLOAT:
    case TypeDesc::DOUBLE:
        img.format = SampleFormat::f32;
        img.halfFloat = spec.format.basetype == TypeDesc::HALF;
        want = TypeDesc::FLOAT;
        break;
    default:
        error = "'" + path + "' has " + std::string(spec.format.c_str()) +
                " samples; 8-bit, 16-bit and floating-point images are supported";
        return false;
    }
    img.width = spec.width;
    img.height = spec.height;
    img.channels = spec.nchannels;
    try {
        img.data.resize(img.rowBytes() * size_t(img.height));
    } catch (const std::bad_alloc&) {
        error = "out of memory reading '" + path + "'";
        return false;
    }
    if (!in->read_image(0, 0, 0, img.channels, want, img.data.data())) {
        error = "cannot read '" + path + "': " + oneLine(in->geterror());
        return false;
    }
    if (const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        icc && icc->type().basetype == TypeDesc::UINT8) {
        const auto* p = static_cast<const uint8_t*>(icc->data());
        img.iccProfile.assign(p, p + icc->type().size());
    }
    in->close();
    out = std::move(img);
    return true;
}

bool writeOiio(const std::string& finalPath, const std::string& path, const Image& img,
               std::string& error, std::string* warning) {
    auto out = ImageOutput::create(finalPath);
    if (!out) {
        error = "cannot write '" + finalPath + "': " + oneLine(OIIO::geterror());
        return false;
    }
    TypeDesc format = img.format == SampleFormat::u8    ? TypeDesc::UINT8
                      : img.format == SampleFormat::u16 ? TypeDesc::UINT16
                      : img.halfFloat                   ? TypeDesc::HALF
                                                        : TypeDesc::FLOAT;
    TypeDesc data = img.format == SampleFormat::u8    ? TypeDesc::UINT8
                    : img.format == SampleFormat::u16 ? TypeDesc::UINT16
                                                      : TypeDesc::FLOAT;
    ImageSpec spec(img.width, img.height, img.channels, format);
    static const char* grayNames[] = {"Y", "A"};
    if (img.channels <= 2) {
        spec.channelnames.assign(grayNames, grayNames + img.channels);
    }
    spec.alpha_channel = (img.channels == 2 || img.channels == 4) ? img.channels - 1 : -1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!img.iccProfile.empty())
        spec.attribute("ICCProfile", TypeDesc(TypeDesc::UINT8, int(img.iccProfile.size())),
                       img.iccProfile.data());
    if (!out->supports("alpha") && spec.alpha_channel >= 0 && warning)
        *warning = "the output format keeps no transparency";
    if (!out->open(path, spec)) {
        error = "cannot write '" + finalPath + "': " + oneLine(out->geterror());
        return false;
    }
    const ImageSpec& used = out->spec();
    if (warning && used.format != format && img.format != SampleFormat::u8) {
        *warning = std::string("the output format cannot hold ") +
                   (img.format == SampleFormat::u16 ? "16-bit" : "floating-point") +
                   " samples; written as " + used.format.c_str();
    }
    if (!out->write_image(data, img.data.data())) {
        error = "cannot write '" + finalPath + "': " + oneLine(out->geterror());
        out->close();
        return false;
    }
    if (!out->close()) {
        error = "cannot write '" + finalPath + "': " + oneLine(out->geterror());
        return false;
    }
    return true;
}
#endif

} // namespace

bool readImage(const std::string& path, Image& out, std::string& error) {
#if QF_HAVE_OIIO
    return readOiio(path, out, error);
#else
    return readImageStb(path, out, error);
#endif
}

bool writeImage(const std::string& path, const Image& image, std::string& error,
                std::string* warning) {
    if (image.width < 1 || image.height < 1 || image.channels < 1 || image.channels > 4 ||
        image.data.size() != image.rowBytes() * size_t(image.height)) {
        error = "internal error: no image to write";
        return false;
    }
    if (isDirectory(path)) {
        error = "'" + path + "' is a folder";
        return false;
    }
    const std::string folder = folderOf(path);
    if (!folder.empty() && !isDirectory(folder)) {
        error = "cannot write '" + path + "': the folder does not exist";
        return false;
    }
    const std::string temp = temporaryPathBeside(path);
#if QF_HAVE_OIIO
    bool ok = writeOiio(path, temp, image, error, warning);
#else
    bool ok = writeImageStb(temp, image, error);
    if (!ok) {
        // Name the file the user asked for, not the temporary one.
        size_t at = error.find(temp);
        if (at != std::string::npos) error.replace(at, temp.size(), path);
    }
#endif
    if (ok) ok = renameReplacing(temp, path, error);
    if (!ok) removeFile(temp);
    return ok;
}

} // namespace cli

#include "host/cli/document_image.h"

#include <cstring>
#include <new>

namespace qf::cli {

uint16_t fileToHost16(uint16_t v) {
    return uint16_t((uint32_t(v) * 32768u + 32767u) / 65535u);
}

uint16_t hostToFile16(uint16_t v) {
    const uint32_t h = v > 32768 ? 32768u : v;
    return uint16_t((h * 65535u + 16384u) / 32768u);
}

bool documentFromImage(const Image& img, host::Document& doc, std::string& error) {
    if (img.channels < 1 || img.channels > 4) {
        error = "images with " + std::to_string(img.channels) + " channels are not supported";
        return false;
    }
    const bool alpha = img.channels == 2 || img.channels == 4;
    const int depth = img.format == SampleFormat::u8    ? 8
                      : img.format == SampleFormat::u16 ? 16
                                                        : 32;
    host::Document d = host::Document::make(
        img.width, img.height, img.channels <= 2 ? host::ColorModel::gray : host::ColorModel::rgb,
        depth, alpha ? host::Transparency::editable : host::Transparency::none, &error);
    if (!d.valid()) return false;
    if (d.bytes().size() != img.data.size()) {
        error = "internal error: image and document sizes differ";
        return false;
    }
    if (img.format == SampleFormat::u16) {
        const size_t n = img.data.size() / 2;
        for (size_t i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, img.data.data() + 2 * i, 2);
            v = fileToHost16(v);
            std::memcpy(d.bytes().data() + 2 * i, &v, 2);
        }
    } else {
        std::memcpy(d.bytes().data(), img.data.data(), img.data.size());
    }
    doc = std::move(d);
    return true;
}

bool imageFromDocument(host::Document&& doc, Image& img, std::string& error) {
    Image out;
    out.width = doc.width();
    out.height = doc.height();
    out.channels = doc.channels();
    out.format = doc.depth() == 8    ? SampleFormat::u8
                 : doc.depth() == 16 ? SampleFormat::u16
                                     : SampleFormat::f32;
    out.iccProfile = img.iccProfile;
    out.metadata = img.metadata;
    out.quality = img.quality;
    out.halfFloat = img.halfFloat && out.format == SampleFormat::f32;
    if (doc.model() == host::ColorModel::multichannel || out.channels > 4) {
        error = "multichannel documents cannot be written";
        return false;
    }
    out.data = std::move(doc.bytes());
    doc = host::Document();
    if (out.format == SampleFormat::u16) {
        const size_t n = out.data.size() / 2;
        for (size_t i = 0; i < n; ++i) {
            uint16_t v;
            std::memcpy(&v, out.data.data() + 2 * i, 2);
            v = hostToFile16(v);
            std::memcpy(out.data.data() + 2 * i, &v, 2);
        }
    }
    img = std::move(out);
    return true;
}

bool maskFromImage(const Image& mask, const host::Document& doc, std::vector<uint8_t>& out,
                   std::string& error) {
    if (mask.channels != 1) {
        error = "the mask must be a one-channel gray image (it has " +
                std::to_string(mask.channels) + " channels)";
        return false;
    }
    if (mask.width != doc.width() || mask.height != doc.height()) {
        error = "the mask is " + std::to_string(mask.width) + "x" + std::to_string(mask.height) +
                " but the image is " + std::to_string(doc.width()) + "x" +
                std::to_string(doc.height());
        return false;
    }
    const size_t n = size_t(mask.width) * size_t(mask.height);
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (mask.format == SampleFormat::u8) {
            out[i] = mask.data[i];
        } else if (mask.format == SampleFormat::u16) {
            uint16_t v;
            std::memcpy(&v, mask.data.data() + 2 * i, 2);
            out[i] = uint8_t((uint32_t(v) * 255u + 32767u) / 65535u);
        } else {
            float f;
            std::memcpy(&f, mask.data.data() + 4 * i, 4);
            f = !(f >= 0.0f) ? 0.0f : (f > 1.0f ? 1.0f : f); // NaN counts as unselected
            out[i] = uint8_t(f * 255.0f + 0.5f);
        }
    }
    return true;
}

std::vector<float> transparencyOf(const host::Document& doc) {
    std::vector<float> alpha;
    if (doc.transparency() == host::Transparency::none) return alpha;
    const int a = doc.colorChannels();
    alpha.reserve(size_t(doc.width()) * size_t(doc.height()));
    for (int32_t y = 0; y < doc.height(); ++y)
        for (int32_t x = 0; x < doc.width(); ++x) alpha.push_back(float(doc.sample(x, y, a)));
    return alpha;
}

void limitTransparency(host::Document& doc, const std::vector<float>& limit) {
    if (doc.transparency() == host::Transparency::none ||
        limit.size() != size_t(doc.width()) * size_t(doc.height()))
        return;
    const int a = doc.colorChannels();
    size_t i = 0;
    for (int32_t y = 0; y < doc.height(); ++y)
        for (int32_t x = 0; x < doc.width(); ++x, ++i)
            if (doc.sample(x, y, a) > double(limit[i])) doc.setSample(x, y, a, double(limit[i]));
}

} // namespace qf::cli

// Writes the PSD files the PSD tests read back, as the exports write them:
// with an IPTC block holding one keyword and an Exif block.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "composite/picture/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/psd_writer.h"
#include "platform/file.h"

namespace qftest {

// Writes all of `picture` to `path` with the keyword "points" (and the ICC
// profile `icc` when given); `iptcBytes` and `exifBytes`, when given,
// receive the blocks as written. A step that fails is a fatal failure of
// the test.
inline void writeTestPsd(const qf::PyramidImage& picture, const std::string& path,
                         const std::vector<uint8_t>& icc = {},
                         std::vector<uint8_t>* iptcBytes = nullptr,
                         std::vector<uint8_t>* exifBytes = nullptr) {
    qf::File file;
    ASSERT_EQ(file.openForWriting(path.c_str()), qf::kFileOk);
    qf::IptcBlock iptc;
    qf::addIptcKeyword(iptc, "points");
    qf::ExifBlock exif;
    qf::PsdRequest r;
    r.picture = &picture;
    r.file = &file;
    r.iptc = &iptc;
    r.exif = &exif;
    r.iccProfile = icc.empty() ? nullptr : icc.data();
    r.iccLength = icc.size();
    ASSERT_EQ(qf::writePsd(r), qf::kPsdWriteOk);
    ASSERT_EQ(file.close(), qf::kFileOk);
    if (iptcBytes) *iptcBytes = iptc.bytes;
    if (exifBytes) *exifBytes = exif.bytes;
}

} // namespace qftest

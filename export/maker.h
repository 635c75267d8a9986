// Who made the pictures: the names the JPEG writer puts into every stream.
#pragma once

namespace qf {

// The maker's web address: the JPEG comment segment and the IPTC source.
constexpr const char kMakerWebAddress[] = "http://www.tallowmere.example/";
// The software that wrote the picture (Exif Software, IPTC keyword).
constexpr const char kSoftwareName[] = "Quillfire";
// The IPTC caption of every picture.
constexpr const char kPictureCaption[] = "Made with Quillfire";

} // namespace qf

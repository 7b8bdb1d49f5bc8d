// Test fixtures for version checks: PE images that carry a VS_FIXEDFILEINFO.
#ifndef VELLMARK_TESTS_VERSION_IMAGES_H
#define VELLMARK_TESTS_VERSION_IMAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "TestImage.h"

namespace versionimages {

constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BD;

// Writes a VS_FIXEDFILEINFO head at `at`: signature, structure version,
// dwFileVersionMS, dwFileVersionLS.  The image grows when it must.
inline void PutFixedFileInfo(std::vector<uint8_t>& image, size_t at, uint32_t ms, uint32_t ls)
{
    if (image.size() < at + 16)
        image.resize(at + 16, 0);
    testimage::Put32(image, at, FixedFileInfoSignature);
    testimage::Put32(image, at + 4, 0x00010000);
    testimage::Put32(image, at + 8, ms);
    testimage::Put32(image, at + 12, ls);
}

// A library image whose .rsrc section (at 0x400, 0x200 bytes, followed by a
// .reloc section) holds the file version a.b.c.d.  `text`, when given, goes
// into the .text section, so that two images of one version differ.
inline std::vector<uint8_t> VersionedImage(uint16_t a, uint16_t b, uint16_t c, uint16_t d, const char* text = nullptr)
{
    std::vector<uint8_t> image =
        testimage::MakePeImage({{".text", 0x200, 0x200}, {".rsrc", 0x400, 0x200}, {".reloc", 0x600, 0x200}});
    for (size_t i = 0; text && text[i] && i < 0x200; ++i)
        image[0x200 + i] = static_cast<uint8_t>(text[i]);
    // Something before the record, as a real resource directory has.
    image[0x400] = 0xBD;
    image[0x401] = 0x04;
    PutFixedFileInfo(image, 0x400 + 0x58, (uint32_t(a) << 16) | b, (uint32_t(c) << 16) | d);
    return image;
}

inline std::string AsString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace versionimages

#endif

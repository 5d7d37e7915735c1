// Plays a Windows metafile to SVG text. Kept free of Qt on purpose: the
// metafile library's headers define macros (U8, U16, ...) that break Qt's.
#pragma once

#include <cstddef>
#include <string>

namespace vm {

struct MetafileSvg {
    std::string svg;      // the drawing as an SVG document
    unsigned width = 0;   // natural size in pixels at 96 dpi
    unsigned height = 0;
    bool ok = false;
    bool outOfMemory = false;
};

MetafileSvg PlayMetafileToSvg(const unsigned char* data, std::size_t size);

} // namespace vm

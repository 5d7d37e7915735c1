// One libFuzzer target: FUZZ_CALL (set per target by the build) on any bytes.
#include "fuzz_targets.h"

#include <QGuiApplication>

namespace vm {
namespace {
#define VM_LOAD(ext, EXT) \
    [[maybe_unused]] void FuzzLoad##ext(const std::uint8_t* d, std::size_t n) { FuzzLoad(QStringLiteral(EXT), d, n); }
VM_LOAD(jpg, "JPG")
VM_LOAD(bmp, "BMP")
VM_LOAD(tif, "TIF")
VM_LOAD(pcx, "PCX")
VM_LOAD(png, "PNG")
VM_LOAD(gif, "GIF")
VM_LOAD(tga, "TGA")
VM_LOAD(wmf, "WMF")
#undef VM_LOAD
} // namespace
} // namespace vm

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Metafiles draw text, which needs the application's fonts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    vm::FuzzLimits();
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FUZZ_CALL(data, size);
    return 0;
}

// One libFuzzer target: FUZZ_TARGET, the target's name, on any bytes.
#include "fuzz_targets.h"

#include <QGuiApplication>

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
    static const QString target = QStringLiteral(FUZZ_TARGET);
    vm::FuzzTarget(target, data, size);
    return 0;
}

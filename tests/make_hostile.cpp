// make_hostile PICTURES EXTRA: the files of hostile.h, each followed by a good
// picture, into PICTURES; prints those that must be logged. EXTRA receives a
// large picture that the test copies over one in the show while it is loaded.
#include "hostile.h"
#include "phonedata.h"

#include <QGuiApplication>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool write(const std::string& path, const QByteArray& bytes)
{
    std::ofstream f(path, std::ios::binary);
    return bool(f.write(bytes.constData(), bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) return std::fprintf(stderr, "usage: make_hostile PICTURES EXTRA\n"), 2;
    const std::string pics = std::string(argv[1]) + "/", extra = std::string(argv[2]) + "/";
    const QRgb colours[] = {0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0x00ffff, 0xff8000, 0x8000ff, 0x008000};
    int n = 0;
    bool ok = true;
    const auto add = [&](const std::string& name, const QByteArray& bytes) {
        char prefix[12];
        std::snprintf(prefix, sizeof prefix, "%02d", ++n);
        ok = write(pics + prefix + "_" + name, bytes) && ok;
        ok = write(pics + prefix + "z_gut.jpg", hostile::jpeg(hostile::solid(320, 240, colours[n % 8]))) && ok;
    };
    for (const hostile::File& f : hostile::files()) {
        if (QByteArray(f.extension) == "WMF") continue; // never collected by the folder scan
        add(std::string(f.name) + "." + QByteArray(f.extension).toLower().toStdString(), f.bytes);
        if (f.error != vm::kIsOk) std::printf("%s\n", f.name);
    }
    // The phone and web formats are collected by default.
    for (const hostile::File& f : phone::files()) {
        add(std::string(f.name) + "." + QByteArray(f.extension).toLower().toStdString(), f.bytes);
        if (f.error != vm::kIsOk) std::printf("%s\n", f.name);
    }
    const QByteArray small = hostile::jpeg(hostile::solid(64, 48, 0xff808080));
    ok = write(pics + "00_gut.jpg", small) && ok;
    add("caf\xe9.jpg", small); // a name that is not UTF-8 (Latin-1)
    const QByteArray large = hostile::jpeg(noise(2000, 1500), false, 95);
    ok = write(extra + "wechsel-quelle.jpg", large) && ok;
    add("wechselnd.jpg", large);
    add("haengt.jpg", small); // the test's decoder hangs on this name
    ok = write(pics + "zz_ende.jpg", hostile::jpeg(hostile::solid(320, 240, 0xffff00ff))) && ok;
    return ok ? 0 : 1;
}

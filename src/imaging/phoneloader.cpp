// The decoder's way to the phone formats' readers: they and their libraries
// sit in a module beside the decoder, loaded only for a picture that needs
// them, so that the decoder of every other picture starts without them.
#include "imaging/phoneformats.h"
#include "platform/module.h"

#include <QCoreApplication>

namespace vm {

namespace {

constexpr char kEntry[] = "velmirano_read_phone";
using Entry = void (*)(int, const std::uint8_t*, std::size_t, std::uint64_t, int, int, PhoneRead*);

} // namespace

bool PreparePhoneReaders()
{
    return ModuleSymbol(kEntry) ||
           LoadModule(QCoreApplication::applicationDirPath() + QStringLiteral("/velmirano-phone.so"));
}

PhoneRead ReadPhonePicture(PhoneFormat format, std::span<const std::uint8_t> bytes, std::uint64_t budget, QSize fit)
{
    PhoneRead r;
    const auto entry = reinterpret_cast<Entry>(ModuleSymbol(kEntry));
    if (!entry) {
        // Without the module these pictures cannot be read.
        r.error = kIsNoReader;
        return r;
    }
    entry(int(format), bytes.data(), bytes.size(), budget, fit.width(), fit.height(), &r);
    return r;
}

} // namespace vm

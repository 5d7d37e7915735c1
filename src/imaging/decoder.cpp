#include "imaging/decoder.h"

#include "imaging/loading.h"
#include "imaging/phoneformats.h"
#include "platform/childprocess.h"
#include "platform/sandbox.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QFile>
#include <QImageReader>
#include <QThreadPool>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <latch>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace vm {

DecodedPicture DecodeInProcess(const DecodeRequest& request, int fd)
{
    DecodedPicture d;
    std::optional<QSize> hint;
    if (request.fitted) hint = QSize(int(std::nearbyint(request.surfaceW)), int(std::nearbyint(request.surfaceH)));
    PictureMetadata* metadata = request.metadata ? &d.metadata : nullptr;
    d.loadError = fd >= 0 ? LoadPicture(fd, request.path, request.extension, request.exifRotate, d.picture, hint,
                                        &d.stored, metadata)
                          : LoadPicture(request.path, request.extension, request.exifRotate, d.picture, hint,
                                        &d.stored, metadata);
    if (!d.loadError.isEmpty()) return DecodedPicture{d.loadError, {}, {}, {}, {}, {}};
    if (d.stored.isEmpty()) d.stored = QSize(d.picture.width, d.picture.height);
    if (request.fitted) {
        d.fitError = FitPicture(d.picture, d.stored, request.surfaceW, request.surfaceH, request.expand, request.path);
        if (!d.fitError.isEmpty()) d.picture.clear();
    }
    return d;
}

// ------------------------------------------------------ the process side --

namespace {

// Running out of memory under the limit shows as an exception nobody
// catches; say so by the exit code instead of an abort.
[[noreturn]] void onTerminate()
{
    if (const std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::bad_alloc&) {
            std::_Exit(kChildOutOfMemoryExit);
        } catch (...) {
        }
    }
    std::abort();
}

// Qt loads a format's decoder on first use; it must be loaded before the
// process is locked down.
void loadReaderFor(const QString& extension)
{
    const char* format = extension == QLatin1String("JPG")   ? "jpeg"
                         : extension == QLatin1String("TIF") ? "tiff"
                         : extension == QLatin1String("GIF") ? "gif"
                         : extension == QLatin1String("PNG") ? "png"
                         : extension == QLatin1String("BMP") ? "bmp"
                                                             : nullptr;
    if (!format) return;
    QBuffer nothing;
    nothing.open(QIODevice::ReadOnly);
    QImageReader reader(&nothing, format);
    reader.canRead();
}

// Readers that split their work (Qt's format conversions) use the global
// pool; its threads are made now and kept, because none can be made once
// the process is locked down.
void prepareThreads()
{
    constexpr int kThreads = 2;
    QThreadPool& pool = *QThreadPool::globalInstance();
    pool.setExpiryTimeout(-1);
    pool.setMaxThreadCount(kThreads);
    // Shared, because a pool thread may still be inside the latch when this
    // function has returned.
    auto running = std::make_shared<std::latch>(kThreads + 1);
    for (int i = 0; i < kThreads; ++i) pool.start([running] { running->arrive_and_wait(); });
    running->arrive_and_wait();
}

// The name of the handed file, for the test faults below; read before the
// lock-down, which leaves nothing to read it with.
QString handedName()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(kHandedFileFd));
}

// Test support: a decoder that goes wrong on files whose path contains a
// marker, as in "crash:boom,hang:stuck,hog:greedy".
void misbehaveIfAsked(const QString& path)
{
    for (const QByteArray& rule : qgetenv("VELMIRANO_DECODER_FAULT").split(',')) {
        const qsizetype colon = rule.indexOf(':');
        if (colon < 0 || !path.contains(QString::fromUtf8(rule.mid(colon + 1)))) continue;
        const QByteArray kind = rule.left(colon);
        if (kind == "crash") std::raise(SIGSEGV);
        if (kind == "hang")
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        if (kind == "hog") {
            constexpr std::size_t chunk = std::size_t(64) << 20;
            std::vector<std::unique_ptr<char[]>> held;
            // The sanitizer's allocator answers null once its resident limit
            // is reached; that is running out of memory as well. Only there
            // must the memory be touched to count: elsewhere the address
            // space limit ends it at once, however busy the machine is.
            const bool touch = SanitizerBuild();
            for (int i = 0; i < 64; ++i) {
                held.emplace_back(new (std::nothrow) char[chunk]);
                if (!held.back()) throw std::bad_alloc();
                if (touch) std::memset(held.back().get(), 1, chunk);
            }
        }
    }
}

} // namespace

int DecoderMain(int argc, char** argv)
{
    CloseUnexpectedFiles();
    std::set_terminate(onTerminate);
    if (argc > 1 && std::strcmp(argv[1], "--check") == 0)
        return AnswerParent({QByteArrayView("velmirano-decoder " VELMIRANO_VERSION "\n")}) ? 0 : 1;

    const std::optional<QByteArray> input = ReadParentInput(kMaxRequestBytes);
    const std::optional<DecodeRequest> request = input ? ParseRequest(*input) : std::nullopt;
    if (!request) return 2;

    // A metafile draws text, which needs the fonts of a GUI application.
    const bool metafile = request->extension == QLatin1String("WMF");
    std::unique_ptr<QCoreApplication> app;
    if (metafile) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        QFontDatabase::families();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    loadReaderFor(request->extension);
    if (PhoneFormatOf(request->extension) != PhoneFormat::None) PreparePhoneReaders();
    prepareThreads();
    const QString name = qEnvironmentVariableIsSet("VELMIRANO_DECODER_FAULT") ? handedName() : QString();
    DecodedPicture decoded;
    const bool heif = request->extension == QLatin1String("HEIC") || request->extension == QLatin1String("HEIF") ||
                      request->extension == QLatin1String("AVIF");
    decoded.confinement = LockDown(LockDownOptions{metafile, heif});
    misbehaveIfAsked(name);
    if (decoded.confinement->failed) {
        // The kernel offers a confinement that could not be made: the file
        // is not read at all.
        decoded.loadError = QStringLiteral("Bilddecoder konnte nicht abgeschirmt werden\n");
    } else {
        const std::optional<SandboxReport> report = decoded.confinement;
        decoded = DecodeInProcess(*request, kHandedFileFd);
        decoded.confinement = report;
    }
    const EncodedAnswer answer = EncodeDecodedParts(decoded);
    const bool written = AnswerParent({answer.head, answer.pixels, answer.tail});
    // Nothing to tidy: leaving at once saves the teardown of what was loaded.
    std::_Exit(written ? 0 : 1);
}

} // namespace vm

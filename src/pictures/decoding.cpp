#include "pictures/decoding.h"

#include "pictures/loading.h"
#include "platform/childprocess.h"
#include "platform/paths.h"
#include "platform/sandbox.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <latch>
#include <new>
#include <numeric>
#include <thread>
#include <vector>

namespace vm {

namespace {

constexpr char kRequestMagic[4] = {'V', 'M', 'Q', '2'};
constexpr char kDecodedMagic[4] = {'V', 'M', 'D', '2'};
constexpr qsizetype kMaxRequestBytes = 256 * 1024;
constexpr qsizetype kMaxTextUnits = 32 * 1024; // 64 KB of UTF-16
constexpr qsizetype kMaxValueBytes = 64 * 1024;
constexpr qsizetype kMaxMetadataTotal = 1024 * 1024;
constexpr quint32 kMaxMetadataEntries = 1 << 16;
constexpr qsizetype kMaxMessageUnits = 16 * 1024;

constexpr int kDefaultDeadlineMs = 10000;
constexpr std::int64_t kAddressSpace = std::int64_t(1) << 30;

// Little-endian byte stream with explicit lengths.
class Writer {
public:
    explicit Writer(QByteArray& out) : out_(out) {}
    void raw(const void* p, qsizetype n) { out_.append(static_cast<const char*>(p), n); }
    template <class T>
    void number(T v)
    {
        static_assert(std::is_arithmetic_v<T>);
        raw(&v, sizeof v);
    }
    void text(const QString& s)
    {
        number(quint32(s.size()));
        raw(s.constData(), s.size() * qsizetype(sizeof(QChar)));
    }
    void bytes(const QByteArray& b)
    {
        number(quint32(b.size()));
        raw(b.constData(), b.size());
    }

private:
    QByteArray& out_;
};

class Reader {
public:
    explicit Reader(QByteArrayView in) : in_(in) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == in_.size(); }
    const char* take(qsizetype n)
    {
        if (!ok_ || n < 0 || n > in_.size() - pos_) {
            ok_ = false;
            return nullptr;
        }
        const char* p = in_.data() + pos_;
        pos_ += n;
        return p;
    }
    template <class T>
    T number()
    {
        T v{};
        if (const char* p = take(sizeof v)) std::memcpy(&v, p, sizeof v);
        return v;
    }
    QString text(qsizetype maxUnits)
    {
        const quint32 n = number<quint32>();
        if (n > quint32(maxUnits)) ok_ = false;
        const char* p = take(qsizetype(n) * qsizetype(sizeof(QChar)));
        if (!p) return {};
        QString s(qsizetype(n), Qt::Uninitialized);
        std::memcpy(s.data(), p, std::size_t(n) * sizeof(QChar));
        return s;
    }
    QByteArray bytes(qsizetype maxBytes)
    {
        const quint32 n = number<quint32>();
        if (n > quint32(maxBytes)) ok_ = false;
        const char* p = take(qsizetype(n));
        return p ? QByteArray(p, qsizetype(n)) : QByteArray();
    }
    bool magic(const char (&m)[4])
    {
        const char* p = take(4);
        if (p && std::memcmp(p, m, 4) != 0) ok_ = false;
        return ok_;
    }

private:
    QByteArrayView in_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

QString readError(int error, const QString& path)
{
    return QStringLiteral("Fehler %1 in IS_ReadXXX\n").arg(error) + path;
}

// Keeps each value to 64 KB and the whole to 1 MB, emptying the largest
// values first: the small ones (dates, names, keywords) are what a stamp shows.
PictureMetadata capped(PictureMetadata m)
{
    for (ExifField& f : m.exif) {
        f.text.truncate(kMaxTextUnits);
        f.bytes.truncate(kMaxValueBytes);
    }
    for (IptcDataSet& d : m.iptc) d.value.truncate(kMaxValueBytes);
    std::vector<std::pair<qsizetype, std::size_t>> costs; // cost, index (exif first, then iptc)
    for (std::size_t i = 0; i < m.exif.size(); ++i)
        costs.emplace_back(m.exif[i].text.size() * 2 + m.exif[i].bytes.size() + m.exif[i].group.size() * 2, i);
    for (std::size_t i = 0; i < m.iptc.size(); ++i) costs.emplace_back(m.iptc[i].value.size(), m.exif.size() + i);
    std::stable_sort(costs.begin(), costs.end());
    qsizetype budget = kMaxMetadataTotal;
    for (const auto& [cost, i] : costs) {
        if (cost <= budget) {
            budget -= cost;
            continue;
        }
        if (i < m.exif.size()) {
            m.exif[i].text.clear();
            m.exif[i].bytes.clear();
        } else {
            m.iptc[i - m.exif.size()].value.clear();
        }
    }
    return m;
}

// The largest picture a request can bring back.
qint64 maxPictureBytes(const DecodeRequest& r)
{
    if (!r.fitted) return kMaxPicturePixels * 3;
    const double w = std::clamp(std::ceil(r.surfaceW) + 1, 1.0, double(kMaxPictureSide));
    const double h = std::clamp(std::ceil(r.surfaceH) + 1, 1.0, double(kMaxPictureSide));
    return qint64(std::min(w * h, double(kMaxPicturePixels)) * 3);
}

qint64 maxDecodedBytes(const DecodeRequest& r)
{
    return maxPictureBytes(r) + 2 * kMaxMetadataTotal + 8 * qint64(kMaxMetadataEntries) * 16 + 4 * kMaxMessageUnits;
}

int deadlineMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELMIRANO_DECODER_DEADLINE_MS", &ok);
    return ok && ms > 0 ? ms : kDefaultDeadlineMs;
}

QString decoderProgram()
{
#ifndef VELMIRANO_DECODER_INSTALL_DIR
#define VELMIRANO_DECODER_INSTALL_DIR "/usr/local/bin"
#endif
    return FindHelperProgram("VELMIRANO_DECODER", QStringLiteral("velmirano-decoder"),
                             QStringLiteral(VELMIRANO_DECODER_INSTALL_DIR));
}

} // namespace

// ------------------------------------------------------------ requests --

DecodeRequest MakeDecodeRequest(const QString& path, bool exifRotate, std::optional<QSizeF> surface, bool expand,
                                bool metadata)
{
    DecodeRequest r;
    r.path = path;
    r.extension = PictureExtension(path);
    r.exifRotate = exifRotate;
    r.fitted = surface.has_value();
    if (surface) {
        r.surfaceW = surface->width();
        r.surfaceH = surface->height();
    }
    r.expand = expand;
    r.metadata = metadata;
    const QFileInfo info(path);
    if (info.exists()) {
        r.fileSize = info.size();
        r.fileModifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return r;
}

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

QByteArray EncodeRequest(const DecodeRequest& r)
{
    QByteArray out;
    Writer w(out);
    w.raw(kRequestMagic, 4);
    w.text(r.extension);
    w.number<quint8>(r.exifRotate);
    w.number<quint8>(r.fitted);
    w.number(r.surfaceW);
    w.number(r.surfaceH);
    w.number<quint8>(r.expand);
    w.number<quint8>(r.metadata);
    w.number(r.fileSize);
    w.number(r.fileModifiedMs);
    return out;
}

std::optional<DecodeRequest> ParseRequest(const QByteArray& bytes)
{
    Reader in(bytes);
    DecodeRequest r;
    in.magic(kRequestMagic);
    r.extension = in.text(16);
    r.exifRotate = in.number<quint8>() != 0;
    r.fitted = in.number<quint8>() != 0;
    r.surfaceW = in.number<double>();
    r.surfaceH = in.number<double>();
    r.expand = in.number<quint8>() != 0;
    r.metadata = in.number<quint8>() != 0;
    r.fileSize = in.number<qint64>();
    r.fileModifiedMs = in.number<qint64>();
    if (!in.ok() || !in.atEnd()) return std::nullopt;
    return r;
}

namespace {

// The picture's bytes go out from where they are: they are the bulk.
struct Encoded {
    QByteArray head;
    QByteArrayView pixels;
    QByteArray tail;
};

Encoded encode(const DecodedPicture& d)
{
    const PictureMetadata metadata = capped(d.metadata);
    Encoded e;
    Writer w(e.head);
    w.raw(kDecodedMagic, 4);
    w.bytes(d.confinement ? EncodeSandboxReport(*d.confinement) : QByteArray());
    w.text(d.loadError.left(kMaxMessageUnits));
    w.number<qint32>(d.stored.width());
    w.number<qint32>(d.stored.height());
    w.text(d.fitError.left(kMaxMessageUnits));
    w.number<qint32>(d.picture.width);
    w.number<qint32>(d.picture.height);
    e.pixels = QByteArrayView(reinterpret_cast<const char*>(d.picture.rgb.data()), qsizetype(d.picture.rgb.size()));
    Writer t(e.tail);
    t.number(quint32(metadata.exif.size()));
    for (const ExifField& f : metadata.exif) {
        t.number(f.tag);
        t.text(f.group);
        t.text(f.text);
        t.bytes(f.bytes);
    }
    t.number(quint32(metadata.iptc.size()));
    for (const IptcDataSet& s : metadata.iptc) {
        t.number<qint32>(s.record);
        t.number<qint32>(s.dataSet);
        t.bytes(s.value);
    }
    return e;
}

} // namespace

QByteArray EncodeDecoded(const DecodedPicture& d)
{
    const Encoded e = encode(d);
    return e.head + e.pixels.toByteArray() + e.tail;
}

std::optional<DecodedPicture> ParseDecoded(QByteArrayView bytes, const DecodeRequest& request)
{
    Reader in(bytes);
    DecodedPicture d;
    in.magic(kDecodedMagic);
    const QByteArray report = in.bytes(kSandboxReportBytes);
    if (!report.isEmpty() && !(d.confinement = ParseSandboxReport(report))) return std::nullopt;
    d.loadError = in.text(kMaxMessageUnits);
    const qint32 sw = in.number<qint32>(), sh = in.number<qint32>();
    d.fitError = in.text(kMaxMessageUnits);
    const qint32 w = in.number<qint32>(), h = in.number<qint32>();
    // A picture that did not load has no stored size (-1 x -1).
    if (!in.ok() || sw < -1 || sh < -1 || w < 0 || h < 0 || (w == 0) != (h == 0)) return std::nullopt;
    d.stored = QSize(sw, sh);
    const qint64 pixelBytes = qint64(w) * qint64(h) * 3;
    if (pixelBytes > maxPictureBytes(request)) return std::nullopt;
    if (w > 0) {
        const char* pixels = in.take(pixelBytes);
        if (!pixels || !d.picture.allocate(w, h)) return std::nullopt;
        std::memcpy(d.picture.rgb.data(), pixels, std::size_t(pixelBytes));
    }
    qsizetype total = 0;
    const quint32 exifCount = in.number<quint32>();
    if (exifCount > kMaxMetadataEntries) return std::nullopt;
    for (quint32 i = 0; i < exifCount && in.ok(); ++i) {
        ExifField f;
        f.tag = in.number<std::uint16_t>();
        f.group = in.text(64);
        f.text = in.text(kMaxTextUnits);
        f.bytes = in.bytes(kMaxValueBytes);
        total += f.text.size() * 2 + f.bytes.size();
        d.metadata.exif.push_back(std::move(f));
    }
    const quint32 iptcCount = in.number<quint32>();
    if (iptcCount > kMaxMetadataEntries) return std::nullopt;
    for (quint32 i = 0; i < iptcCount && in.ok(); ++i) {
        IptcDataSet s;
        s.record = in.number<qint32>();
        s.dataSet = in.number<qint32>();
        s.value = in.bytes(kMaxValueBytes);
        total += s.value.size();
        d.metadata.iptc.push_back(std::move(s));
    }
    if (!in.ok() || !in.atEnd() || total > kMaxMetadataTotal) return std::nullopt;
    // A load error comes alone; a fitting error comes without a picture.
    if (!d.loadError.isEmpty() && (w > 0 || !d.fitError.isEmpty())) return std::nullopt;
    if (d.loadError.isEmpty() && d.fitError.isEmpty() && w == 0) return std::nullopt;
    return d;
}

// ------------------------------------------------------------- the job --

// One picture in one decoder process.
class DecodeJob {
public:
    DecodeJob(const QString& program, const DecodeRequest& request) : request_(request)
    {
        if (program.isEmpty()) return;
        // The show opens the picture and hands the decoder that one file.
        const OpenedPicture picture = OpenPictureFile(request.path);
        if (!picture.file.valid()) {
            openFailure_ = picture.failure;
            return;
        }
        ChildLimits limits;
        limits.addressSpaceBytes = kAddressSpace;
        limits.deadlineMs = deadlineMs();
        limits.maxOutputBytes = maxDecodedBytes(request);
        child_ = std::make_unique<IsolatedChild>(program, QStringList(), EncodeRequest(request), limits,
                                                 picture.file.get());
    }

    const DecodeRequest& request() const { return request_; }
    bool done() const { return !child_ || !child_->running(); }
    void waitBlocking()
    {
        if (child_) child_->waitBlocking();
    }

    DecodedPicture result()
    {
        const auto failed = [this](int error) {
            return DecodedPicture{readError(error, request_.path), {}, {}, {}, {}, {}};
        };
        if (openFailure_ != OpenFailure::None) {
            const int error = openFailure_ == OpenFailure::NotFound       ? kIsFileNotFound
                              : openFailure_ == OpenFailure::AccessDenied ? kIsAccessDenied
                              : openFailure_ == OpenFailure::NotAFile     ? kIsNotAFile
                                                                          : kIsReadFailed;
            return DecodedPicture{QStringLiteral("Fehler %1 in IS_OpenFileSource\n").arg(error) + request_.path,
                                  {}, {}, {}, {}, {}};
        }
        // Without its decoder the program has no reader for any picture.
        if (!child_) return failed(kIsNoReader);
        switch (child_->end()) {
        case ChildEnd::Exited:
            if (child_->exitCode() == 0) {
                if (std::optional<DecodedPicture> d = ParseDecoded(child_->output(), request_)) {
                    // The decoder knows no path: its messages end where it goes.
                    if (!d->loadError.isEmpty()) d->loadError += request_.path;
                    if (!d->fitError.isEmpty()) d->fitError += request_.path;
                    return std::move(*d);
                }
            }
            return failed(kIsCorrupt);
        case ChildEnd::OutOfMemory: return failed(kIsOutOfMemory);
        case ChildEnd::NotStarted: return failed(kIsNoReader);
        default: return failed(kIsCorrupt);
        }
    }

private:
    DecodeRequest request_;
    OpenFailure openFailure_ = OpenFailure::None;
    std::unique_ptr<IsolatedChild> child_;
};

// --------------------------------------------------------- the decoder --

PictureDecoder::PictureDecoder() = default;
PictureDecoder::~PictureDecoder() = default;

std::unique_ptr<DecodeJob> PictureDecoder::start(const DecodeRequest& request)
{
    if (program.isEmpty()) program = decoderProgram();
    if (!program.isEmpty()) ++started_;
    return std::make_unique<DecodeJob>(program, request);
}

void PictureDecoder::decodeAhead(const DecodeRequest& request)
{
    if (!aheadEnabled) return;
    if (ahead_ && ahead_->request() == request) return;
    ahead_.reset();
    ahead_ = start(request);
}

std::optional<DecodedPicture> PictureDecoder::obtain(const DecodeRequest& request,
                                                     const std::function<bool()>& stopped)
{
    std::unique_ptr<DecodeJob> job = std::move(ahead_);
    if (!job || !(job->request() == request)) {
        job.reset();
        job = start(request);
    }
    if (!job->done()) {
        if (!QCoreApplication::instance()) {
            job->waitBlocking();
        } else {
            // Input and close requests must get through at once; the timer
            // only makes sure the loop looks again now and then.
            QTimer wake;
            wake.start(50);
            while (!job->done()) {
                if (stopped && stopped()) return std::nullopt;
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            }
        }
    }
    return finish(*job);
}

DecodedPicture PictureDecoder::finish(DecodeJob& job)
{
    DecodedPicture d = job.result();
    if (d.confinement) confinement_ = d.confinement;
    return d;
}

QString PictureDecoder::takeConfinementWarning()
{
    if (warned_ || !confinement_) return {};
    const QString warning = ConfinementWarning(*confinement_);
    if (!warning.isEmpty()) warned_ = true;
    return warning;
}

void PictureDecoder::drop() { ahead_.reset(); }

QString DecodePicture(PictureDecoder& decoder, const QString& path, bool exifRotate, std::optional<QSizeF> surface,
                      bool expand, RgbImage& out, QSize* stored, PictureMetadata* metadata,
                      const std::function<bool()>& stopped)
{
    out.clear();
    std::optional<DecodedPicture> d =
        decoder.obtain(MakeDecodeRequest(path, exifRotate, surface, expand, metadata != nullptr), stopped);
    if (!d) return {};
    if (stored) *stored = d->stored;
    if (metadata) *metadata = std::move(d->metadata);
    out = std::move(d->picture);
    return d->loadError.isEmpty() ? d->fitError : d->loadError;
}

bool DecoderAvailable()
{
    const QString program = decoderProgram();
    if (program.isEmpty()) return false;
    ChildLimits limits;
    limits.addressSpaceBytes = kAddressSpace;
    limits.deadlineMs = 5000;
    limits.maxOutputBytes = 4096;
    IsolatedChild child(program, {QStringLiteral("--check")}, QByteArray(), limits);
    child.waitBlocking();
    return child.end() == ChildEnd::Exited && child.exitCode() == 0 && child.output().startsWith("velmirano-decoder");
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
    std::latch running(kThreads + 1);
    for (int i = 0; i < kThreads; ++i) pool.start([&running] { running.arrive_and_wait(); });
    running.arrive_and_wait();
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
            for (int i = 0; i < 64; ++i) {
                held.emplace_back(new char[chunk]);
                std::memset(held.back().get(), 1, chunk);
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
    prepareThreads();
    const QString name = qEnvironmentVariableIsSet("VELMIRANO_DECODER_FAULT") ? handedName() : QString();
    DecodedPicture decoded;
    decoded.confinement = LockDown(LockDownOptions{metafile});
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
    const Encoded answer = encode(decoded);
    const bool written = AnswerParent({answer.head, answer.pixels, answer.tail});
    // Nothing to tidy: leaving at once saves the teardown of what was loaded.
    std::_Exit(written ? 0 : 1);
}

} // namespace vm

#include "pictures/decoding.h"

#include "pictures/loading.h"
#include "platform/childprocess.h"
#include "platform/sandbox.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <numeric>
#include <thread>
#include <vector>

namespace vm {

namespace {

constexpr char kRequestMagic[4] = {'V', 'M', 'Q', '1'};
constexpr char kDecodedMagic[4] = {'V', 'M', 'D', '1'};
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

DecodedPicture DecodeInProcess(const DecodeRequest& request)
{
    DecodedPicture d;
    std::optional<QSize> hint;
    if (request.fitted) hint = QSize(int(std::nearbyint(request.surfaceW)), int(std::nearbyint(request.surfaceH)));
    d.loadError = LoadPicture(request.path, request.extension, request.exifRotate, d.picture, hint, &d.stored,
                              request.metadata ? &d.metadata : nullptr);
    if (!d.loadError.isEmpty()) return DecodedPicture{d.loadError, {}, {}, {}, {}};
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
    w.text(r.path);
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
    r.path = in.text(kMaxRequestBytes / 2);
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
        ChildLimits limits;
        limits.addressSpaceBytes = kAddressSpace;
        limits.deadlineMs = deadlineMs();
        limits.maxOutputBytes = maxDecodedBytes(request);
        child_ = std::make_unique<IsolatedChild>(program, QStringList(), EncodeRequest(request), limits);
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
            return DecodedPicture{readError(error, request_.path), {}, {}, {}, {}};
        };
        // Without its decoder the program has no reader for any picture.
        if (!child_) return failed(kIsNoReader);
        switch (child_->end()) {
        case ChildEnd::Exited:
            if (child_->exitCode() == 0) {
                if (std::optional<DecodedPicture> d = ParseDecoded(child_->output(), request_)) return std::move(*d);
            }
            return failed(kIsCorrupt);
        case ChildEnd::OutOfMemory: return failed(kIsOutOfMemory);
        case ChildEnd::NotStarted: return failed(kIsNoReader);
        default: return failed(kIsCorrupt);
        }
    }

private:
    DecodeRequest request_;
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
    return job->result();
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
    std::set_terminate(onTerminate);
    if (argc > 1 && std::strcmp(argv[1], "--check") == 0)
        return AnswerParent({QByteArrayView("velmirano-decoder " VELMIRANO_VERSION "\n")}) ? 0 : 1;
    if (argc == 5 && std::strcmp(argv[1], "--probe-sandbox") == 0) {
        const QString allowed = QString::fromLocal8Bit(argv[2]);
        LockDown(allowed, false);
        const QByteArray found =
            ProbeConfinement(allowed, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
        return AnswerParent({found}) ? 0 : 1;
    }

    QByteArray input;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, stdin)) {
        input.append(buffer, qsizetype(n));
        if (input.size() > kMaxRequestBytes) return 2;
    }
    const std::optional<DecodeRequest> request = ParseRequest(input);
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
    LockDown(request->path, metafile);
    misbehaveIfAsked(request->path);

    const DecodedPicture decoded = DecodeInProcess(*request);
    const Encoded answer = encode(decoded);
    const bool written = AnswerParent({answer.head, answer.pixels, answer.tail});
    // Nothing to tidy: leaving at once saves the teardown of what was loaded.
    std::_Exit(written ? 0 : 1);
}

} // namespace vm

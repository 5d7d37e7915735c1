#include "imaging/protocol.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace vm {

namespace {

constexpr char kRequestMagic[4] = {'V', 'M', 'Q', '2'};
constexpr char kDecodedMagic[4] = {'V', 'M', 'D', '2'};
constexpr qsizetype kMaxTextUnits = 32 * 1024; // 64 KB of UTF-16
constexpr qsizetype kMaxValueBytes = 64 * 1024;
constexpr qsizetype kMaxMetadataTotal = 1024 * 1024;
constexpr quint32 kMaxMetadataEntries = 1 << 16;
constexpr qsizetype kMaxMessageUnits = 16 * 1024;

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

} // namespace

// The largest picture a request can bring back.
qint64 MaxAnswerPictureBytes(const DecodeRequest& r)
{
    if (!r.fitted) return kMaxPicturePixels * 3;
    const double w = std::clamp(std::ceil(r.surfaceW) + 1, 1.0, double(kMaxPictureSide));
    const double h = std::clamp(std::ceil(r.surfaceH) + 1, 1.0, double(kMaxPictureSide));
    return qint64(std::min(w * h, double(kMaxPicturePixels)) * 3);
}

qint64 MaxAnswerBytes(const DecodeRequest& r)
{
    return MaxAnswerPictureBytes(r) + 2 * kMaxMetadataTotal + 8 * qint64(kMaxMetadataEntries) * 16 + 4 * kMaxMessageUnits;
}

const ExifField* PictureMetadata::exifTag(std::uint32_t tag) const
{
    for (const ExifField& f : exif)
        if (f.tag == tag) return &f;
    return nullptr;
}

QString decodeMetadataText(const QByteArray& bytes)
{
    QByteArray b = bytes;
    while (!b.isEmpty() && b.back() == '\0') b.chop(1);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(b);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(b);
}

std::optional<FittedSize> FitSize(QSize stored, double W, double H, bool expand)
{
    // The ratios are single precision.
    const float rx = float(double(stored.width()) / W);
    const float ry = float(double(stored.height()) / H);
    const float s = rx > ry ? rx : ry;
    const bool shrink = s > 1.0f;
    if (!shrink && !expand) return std::nullopt;
    // A picture far thinner than the surface would round to no pixel at all.
    const auto side = [s](int stored) { return std::max(int(std::nearbyint(double(stored) / double(s))), 1); };
    return FittedSize{QSize(side(stored.width()), side(stored.height())), shrink};
}

QString PictureExtension(const QString& path)
{
    // The phone and web formats are known by their whole extension: a
    // three-letter tail like "EIC" names no format.
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && path.indexOf(QLatin1Char('/'), dot) < 0 && path.indexOf(QLatin1Char('\\'), dot) < 0) {
        const QString whole = path.mid(dot + 1).toUpper();
        for (const char* e : {"HEIC", "HEIF", "AVIF", "WEBP", "JXL"})
            if (whole == QLatin1String(e)) return whole;
    }
    return path.right(3).toUpper();
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

EncodedAnswer encode(const DecodedPicture& d)
{
    const PictureMetadata metadata = capped(d.metadata);
    EncodedAnswer e;
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

EncodedAnswer EncodeDecodedParts(const DecodedPicture& d) { return encode(d); }

QByteArray EncodeDecoded(const DecodedPicture& d)
{
    const EncodedAnswer e = encode(d);
    return e.head + e.pixels.toByteArray() + e.tail;
}

namespace {

// A decoder taken over by its file may answer any size whose bytes fit. A
// fitted picture has exactly the size the show's own fit gives its stored
// size (a picture that keeps its size comes as stored); an unfitted one
// stays within what a reader decodes at all.
bool sidesAgree(QSize stored, qint32 w, qint32 h, const DecodeRequest& request)
{
    if (stored.width() <= 0 || stored.height() <= 0 || stored.width() > kMaxPictureSide ||
        stored.height() > kMaxPictureSide)
        return false;
    if (w == 0) return true; // a fitting error comes without a picture
    if (w > kMaxPictureSide || h > kMaxPictureSide) return false;
    if (!request.fitted) return qint64(w) * h <= kMaxPicturePixels;
    const std::optional<FittedSize> fit = FitSize(stored, request.surfaceW, request.surfaceH, request.expand);
    return QSize(w, h) == (fit ? fit->size : stored);
}

} // namespace

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
    if (pixelBytes > MaxAnswerPictureBytes(request)) return std::nullopt;
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
    if (d.loadError.isEmpty() && !sidesAgree(d.stored, w, h, request)) return std::nullopt;
    // A load error comes alone; a fitting error comes without a picture.
    if (!d.loadError.isEmpty() && (w > 0 || !d.fitError.isEmpty())) return std::nullopt;
    if (d.loadError.isEmpty() && d.fitError.isEmpty() && w == 0) return std::nullopt;
    return d;
}

} // namespace vm

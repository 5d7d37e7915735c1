#include "pictures/textstamp.h"

#include "imaging/protocol.h"
#include "platform/paths.h"
#include "platform/target.h"
#include "state/runstate.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vm {

namespace {

// ---------------------------------------------------------------- text ----

// Removes blanks only, as the stamp always has; other white space is content.
QString trimBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == QLatin1Char(' ')) ++b;
    while (e > b && s[e - 1] == QLatin1Char(' ')) --e;
    return s.mid(b, e - b);
}

bool isWindowsTextTag(std::uint32_t tag) { return tag >= 40091 && tag <= 40095; }

// The Windows tags hold UTF-16LE text ending in a zero character.
QString decodeUtf16Le(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = char16_t(std::uint8_t(bytes[i]) | (std::uint8_t(bytes[i + 1]) << 8));
        if (unit == 0) break;
        text.append(QChar(unit));
    }
    return text;
}

// Replaces every marker followed by a decimal number with lookup(number),
// left to right. The search goes on after the inserted text, so a value that
// itself contains the marker is taken as it is. A number too large for
// 32 bits names nothing.
template <typename Lookup>
void expandNumbered(QString& s, QLatin1String marker, Lookup lookup)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype p = s.indexOf(marker, from, Qt::CaseInsensitive);
        if (p < 0) return;
        s.remove(p, marker.size());
        qsizetype end = p;
        std::uint64_t n = 0;
        bool tooLarge = false;
        while (end < s.size() && s[end] >= QLatin1Char('0') && s[end] <= QLatin1Char('9')) {
            n = n * 10 + std::uint64_t(s[end].unicode() - '0');
            if (n > 0xffffffffULL) {
                tooLarge = true;
                n = 0xffffffffULL + 1; // keeps the product from wrapping
            }
            ++end;
        }
        s.remove(p, end - p);
        const QString value = tooLarge ? QString::fromLatin1(kUnreadable) : lookup(std::uint32_t(n));
        s.insert(p, value);
        from = p + value.size();
    }
}

// ------------------------------------------------------------- drawing ----

QColor colourOf(std::int32_t c)
{
    const auto v = std::uint32_t(c);
    return QColor(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
}

int clampPercent(std::int32_t p) { return std::clamp(p, 0, 100); }

// The font of the stamp at `pixelSize` pixels per em. A face that is not
// installed is replaced by the font system's nearest match, never by nothing.
QFont stampFont(const StampStyle& style, int pixelSize)
{
    QFont font;
    if (!style.fontName.isEmpty()) font.setFamilies({style.fontName});
    font.setWeight(QFont::Weight(style.weight > 0 ? std::clamp(style.weight, 1, 1000) : 400));
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    font.setStrikeOut(style.strikeOut);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Unhinted outlines scale linearly, so the text drawn at the height
    // fills the box measured at four times the height.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPixelSize(std::max(1, pixelSize));
    return font;
}

// A positive font height asks for the cell (ascent plus descent), not the
// em: the em size in pixels that gives a cell of `cellHeight` pixels.
int emForCellHeight(const StampStyle& style, int cellHeight)
{
    constexpr int kProbe = 1024;
    const QFontMetricsF probe(stampFont(style, kProbe));
    const double cell = probe.ascent() + probe.descent();
    const double em = cell > 0 ? double(cellHeight) * kProbe / cell : double(cellHeight);
    return std::max(1, int(std::lround(em)));
}

QImage wrap(RgbImage& image)
{
    return QImage(image.rgb.data(), image.width, image.height, qsizetype(image.rowBytes()), QImage::Format_RGB888);
}

void prepare(QPainter& painter, const QFont& font, const QColor& colour, int opacity)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(colour);
    painter.setOpacity(opacity / 100.0);
}

void fillSolid(RgbImage& image, std::int32_t colour)
{
    const QColor c = colourOf(colour);
    const std::uint8_t px[3] = {std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())};
    for (std::size_t i = 0; i < image.rgb.size(); i += 3) std::memcpy(&image.rgb[i], px, 3);
}

// Grey value of each pixel, one byte per pixel.
std::vector<std::uint8_t> grayScale8Bit(const RgbImage& image)
{
    std::vector<std::uint8_t> grey(std::size_t(image.width) * std::size_t(image.height));
    const std::uint8_t* in = image.rgb.data();
    for (std::size_t i = 0; i < grey.size(); ++i, in += 3)
        grey[i] = std::uint8_t((in[0] * 77u + in[1] * 150u + in[2] * 29u + 128u) >> 8);
    return grey;
}

// Blends `source` onto `target` at (x, y) with a per-pixel alpha; the
// caller has placed the source inside the target.
void alphaBlendRgb(RgbImage& target, const RgbImage& source, const std::vector<std::uint8_t>& alpha, int x, int y)
{
    for (int j = 0; j < source.height; ++j) {
        std::uint8_t* out = target.rgb.data() + std::size_t(y + j) * target.rowBytes() + std::size_t(x) * 3;
        const std::uint8_t* in = source.rgb.data() + std::size_t(j) * source.rowBytes();
        const std::uint8_t* a = alpha.data() + std::size_t(j) * std::size_t(source.width);
        for (int i = 0; i < source.width; ++i, out += 3, in += 3) {
            const unsigned k = a[i];
            if (k == 0) continue;
            for (int c = 0; c < 3; ++c) out[c] = std::uint8_t((in[c] * k + out[c] * (255u - k) + 127u) / 255u);
        }
    }
}

struct Span {
    long long from = 0, to = 0; // to exclusive
    bool empty() const { return to <= from; }
};

Span clip(long long from, long long to, long long size) { return {std::max(from, 0LL), std::min(to, size)}; }

// Blends the colour over (left, top)-(right, bottom), both exclusive. Every
// corner is taken as it is: a box computed to end at -1 ends left of the
// picture; only FillStampBox reads -1 as "to the edge".
void blendBox(RgbImage& img, std::int32_t colour, long long left, long long top, long long right, long long bottom,
              std::int32_t opacity)
{
    const Span xs = clip(left, right, img.width), ys = clip(top, bottom, img.height);
    if (xs.empty() || ys.empty()) return;
    const QColor c = colourOf(colour);
    const unsigned a = unsigned(clampPercent(opacity)), keep = 100u - a;
    const unsigned cr = unsigned(c.red()) * a, cg = unsigned(c.green()) * a, cb = unsigned(c.blue()) * a;
    for (long long y = ys.from; y < ys.to; ++y) {
        std::uint8_t* px = img.rgb.data() + std::size_t(y) * img.rowBytes() + std::size_t(xs.from) * 3;
        for (long long x = xs.from; x < xs.to; ++x, px += 3) {
            px[0] = std::uint8_t((px[0] * keep + cr + 50u) / 100u);
            px[1] = std::uint8_t((px[1] * keep + cg + 50u) / 100u);
            px[2] = std::uint8_t((px[2] * keep + cb + 50u) / 100u);
        }
    }
}

} // namespace

// ------------------------------------------------------------ placeholders --

PathParts SplitPath(const QString& path, PathStyle style)
{
    PathParts parts;
    QString t = path;
    const QChar sep = style == PathStyle::Windows ? QLatin1Char('\\') : QLatin1Char('/');
    if (style == PathStyle::Windows) {
        const qsizetype p = t.indexOf(QLatin1Char(':'));
        if (p >= 0) {
            parts.drive = t.left(p);
            t = t.mid(p + 1);
        }
    }
    const qsizetype q = t.lastIndexOf(sep);
    if (q >= 0) {
        parts.folder = t.left(q);
        if (parts.folder.startsWith(sep)) parts.folder.remove(0, 1);
        t = t.mid(q + 1);
    }
    const qsizetype r = t.lastIndexOf(QLatin1Char('.'));
    if (r >= 0) {
        parts.name = t.left(r);
        parts.extension = t.mid(r + 1);
    } else {
        parts.name = t;
    }
    const qsizetype f = parts.folder.lastIndexOf(sep);
    parts.lastFolder = f >= 0 ? parts.folder.mid(f + 1) : parts.folder;
    return parts;
}

QString GetExifText(const PictureMetadata& metadata, std::uint32_t tag)
{
    const ExifField* field = metadata.exifTag(tag);
    if (!field) return QString::fromLatin1(kUnreadable);
    if (isWindowsTextTag(tag)) {
        if (field->bytes.isEmpty()) return QString::fromLatin1(kUnreadable);
        return trimBlanks(decodeUtf16Le(field->bytes));
    }
    if (field->text.isEmpty()) return QString::fromLatin1(kUnreadable);
    return field->text;
}

IptcTags LoadIptcTags(const PictureMetadata& metadata)
{
    IptcTags tags;
    for (const IptcDataSet& set : metadata.iptc) {
        // The numbers name the data sets of the application record; the
        // envelope uses some of them for other things (1:90 is its character
        // set, 2:90 the city).
        if (set.record != 2) continue;
        const QString key = QLatin1Char('T') + QString::number(set.dataSet);
        const QString value = trimBlanks(decodeMetadataText(set.value));
        auto it = tags.items.find(key);
        if (it != tags.items.end())
            *it += QStringLiteral(", ") + value;
        else
            tags.items.insert(key, value);
    }
    return tags;
}

QString GetIptcText(const IptcTags& tags, std::uint32_t number)
{
    return tags.items.value(QLatin1Char('T') + QString::number(number), QString::fromLatin1(kUnreadable));
}

QString expandPlaceholders(const QString& text, const QString& path, const QDateTime& fileTime,
                           const PictureMetadata& metadata, const std::function<QDateTime()>& now)
{
    const auto clock = [&now] { return now ? now() : QDateTime::currentDateTime(); };
    // A name's bytes that are not UTF-8 are shown as people read them.
    const QString shown = DisplayPath(path);
    const PathParts parts = SplitPath(shown);
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    const QString timeFormat = QStringLiteral("HH:mm:ss");

    QString s = text;
    const auto replace = [&s](const char* placeholder, const QString& value) {
        s.replace(QLatin1String(placeholder), value, Qt::CaseInsensitive);
    };
    // In this order: a value may contain a later placeholder, which is then
    // replaced as well.
    replace("%k", shown);
    replace("%l", parts.drive);
    replace("%p", parts.folder);
    replace("%v", parts.lastFolder);
    replace("%n", parts.name);
    replace("%a", parts.extension);
    replace("%t", fileTime.toString(dateFormat));
    replace("%z", fileTime.toString(timeFormat));
    if (s.contains(QLatin1String("%d"), Qt::CaseInsensitive)) replace("%d", clock().toString(dateFormat));
    if (s.contains(QLatin1String("%u"), Qt::CaseInsensitive)) replace("%u", clock().toString(timeFormat));
    if (s.contains(QLatin1String("%w"), Qt::CaseInsensitive))
        replace("%w", QLocale::system().toString(clock().date(), QStringLiteral("dddd")));

    expandNumbered(s, QLatin1String("%e"), [&metadata](std::uint32_t tag) { return GetExifText(metadata, tag); });
    if (s.contains(QLatin1String("%i"), Qt::CaseInsensitive)) {
        const IptcTags tags = LoadIptcTags(metadata);
        expandNumbered(s, QLatin1String("%i"), [&tags](std::uint32_t n) { return GetIptcText(tags, n); });
    }
    return s;
}

// ----------------------------------------------------------------- drawing --

StampStyle stampStyleFromSettings(const Settings& s)
{
    StampStyle style;
    style.fontName = s.schriftart;
    style.height = s.hoehe;
    style.colour = s.farbe;
    style.opacity = s.deckkraft;
    style.alignment = s.ausrichtung;
    style.position = s.position;
    style.offsetX = s.offsetx;
    style.offsetY = s.offsety;
    style.direction = s.richtung;
    style.weight = s.gewicht;
    style.italic = s.kursiv != 0;
    style.underline = s.unterstrichen != 0;
    style.strikeOut = s.durchgestrichen != 0;
    if (s.hintergrund == 1) {
        style.boxColour = s.hintergrundfarbe;
        style.boxOpacity = s.hintergrunddeckkraft;
    } else {
        style.boxColour = -1;
        style.boxOpacity = 0;
    }
    style.frameColour = s.rahmen == 1 ? s.rahmenfarbe : -1;
    return style;
}

void StampTarget::FillStampBox(std::int32_t colour, long long left, long long top, long long right,
                               long long bottom, std::int32_t opacity)
{
    if (!buffer_) return;
    if (right == -1) right = buffer_->width;
    if (bottom == -1) bottom = buffer_->height;
    blendBox(*buffer_, colour, left, top, right, bottom, opacity);
}

void StampTarget::DrawStampLine(std::int32_t colour, long long x1, long long y1, long long x2, long long y2)
{
    if (!buffer_) return;
    RgbImage& img = *buffer_;
    const QColor c = colourOf(colour);
    const auto plot = [&img, &c](long long x, long long y) {
        std::uint8_t* px = img.rgb.data() + std::size_t(y) * img.rowBytes() + std::size_t(x) * 3;
        px[0] = std::uint8_t(c.red());
        px[1] = std::uint8_t(c.green());
        px[2] = std::uint8_t(c.blue());
    };
    // Frame lines run along an axis and may reach far outside: clip them
    // directly.
    if (y1 == y2 || x1 == x2) {
        if (y1 == y2) {
            if (y1 < 0 || y1 >= img.height) return;
            const Span xs = clip(std::min(x1, x2), std::max(x1, x2) + 1, img.width);
            for (long long x = xs.from; x < xs.to; ++x) plot(x, y1);
        } else {
            if (x1 < 0 || x1 >= img.width) return;
            const Span ys = clip(std::min(y1, y2), std::max(y1, y2) + 1, img.height);
            for (long long y = ys.from; y < ys.to; ++y) plot(x1, y);
        }
        return;
    }
    // Any other line: clip the segment to the buffer (Liang-Barsky), then
    // step along its longer axis.
    double t0 = 0, t1 = 1;
    const double dx = double(x2 - x1), dy = double(y2 - y1);
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {double(x1), double(img.width - 1) - double(x1), double(y1), double(img.height - 1) - double(y1)};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1) return;
    }
    const double sx = double(x1) + t0 * dx, sy = double(y1) + t0 * dy;
    const double ex = double(x1) + t1 * dx, ey = double(y1) + t1 * dy;
    const long long steps = std::llround(std::max(std::fabs(ex - sx), std::fabs(ey - sy)));
    for (long long i = 0; i <= steps; ++i) {
        const double f = steps ? double(i) / double(steps) : 0.0;
        const long long x = std::llround(sx + f * (ex - sx)), y = std::llround(sy + f * (ey - sy));
        if (x >= 0 && y >= 0 && x < img.width && y < img.height) plot(x, y);
    }
}

std::optional<StampPlacement> StampTarget::DrawStampText(const QString& rawText, const StampStyle& style)
{
    if (rawText.isEmpty() || !buffer_ || style.height <= 0) return std::nullopt;
    RgbImage& img = *buffer_;
    const long long SW = img.width, SH = img.height;

    QString text = rawText;
    text.replace(QLatin1String("%\\"), QLatin1String("\n"));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    const int em = emForCellHeight(style, std::min(style.height, kMaxStampHeight));

    // Measured at four times the height for a box that holds the smoothed
    // text at any rounding of the glyph widths.
    const QFont measureFont = stampFont(style, em * 4);
    const QRectF measured = QFontMetricsF(measureFont)
                                .boundingRect(QRectF(0, 0, double(SW), double(SH)),
                                              Qt::AlignLeft | Qt::AlignTop, text);
    const double w4 = measured.width(), h4 = measured.height();
    // A measure beyond what text layout can address counts as failed.
    if (!std::isfinite(w4) || !std::isfinite(h4) || w4 > double(1 << 24) || h4 > double(1 << 24))
        return std::nullopt;
    long long tw = std::llround(std::nearbyint(w4 / 4 + 1));
    long long th = std::llround(std::nearbyint(h4 / 4 + 1));
    const QFont font = stampFont(style, em);

    long long alignment = style.alignment;
    if (alignment == 0) alignment = ((static_cast<long long>(style.position) - 1) % 3) + 1;
    Qt::Alignment flags = Qt::AlignTop;
    flags |= alignment == 2 ? Qt::AlignHCenter : alignment == 3 ? Qt::AlignRight : Qt::AlignLeft;
    const QRectF textBox(0, 0, double(tw), double(th)); // before turning

    const int direction = style.direction;
    const bool turned = direction >= 1 && direction <= 3;
    if (turned && direction % 2 == 1) std::swap(tw, th);

    const long long ox = style.offsetX, oy = style.offsetY;
    const auto centred = [](long long room, long long size, long long offset) {
        return std::llround(std::nearbyint(double(room - size) / 2 + double(offset)));
    };
    long long x = 0, y = 0;
    switch (style.position) {
    case 1: x = ox; y = oy; break;
    case 2: x = centred(SW, tw, ox); y = oy; break;
    case 3: x = SW - tw + ox; y = oy; break;
    case 4: x = ox; y = centred(SH, th, oy); break;
    case 5: x = centred(SW, tw, ox); y = centred(SH, th, oy); break;
    case 6: x = SW - tw + ox; y = centred(SH, th, oy); break;
    case 7: x = ox; y = SH - th + oy; break;
    case 8: x = centred(SW, tw, ox); y = SH - th + oy; break;
    case 9: x = SW - tw + ox; y = SH - th + oy; break;
    default: break;
    }

    if (style.boxColour >= 0) blendBox(img, style.boxColour, x - 1, y - 1, x + tw + 1, y + th + 1, style.boxOpacity);
    if (style.frameColour >= 0) {
        const long long l = x - 1, t = y - 1, r = x + tw + 1, b = y + th + 1;
        DrawStampLine(style.frameColour, l, t, r, t);
        DrawStampLine(style.frameColour, r, t, r, b);
        DrawStampLine(style.frameColour, r, b, l, b);
        DrawStampLine(style.frameColour, l, b, l, t);
    }

    const Span xs = clip(x, x + tw, SW), ys = clip(y, y + th, SH);
    const StampPlacement placement{x, y, tw, th};
    if (xs.empty() || ys.empty()) return placement;

    if (!turned) {
        QImage surface = wrap(img);
        QPainter painter(&surface);
        prepare(painter, font, colourOf(style.colour), clampPercent(style.opacity));
        painter.drawText(textBox.translated(double(x), double(y)), int(flags), text);
        return placement;
    }

    // Turned: white text on black, turned, its brightness as the alpha of a
    // plate in the text colour. Only the part that lands on the buffer is
    // drawn; (u, v) span that part inside the turned box, (a, b) the same
    // part of the box before turning.
    const long long u0 = xs.from - x, u1 = xs.to - x, v0 = ys.from - y, v1 = ys.to - y;
    const long long boxW = direction % 2 == 1 ? th : tw, boxH = direction % 2 == 1 ? tw : th; // unturned size
    long long a0 = 0, b0 = 0, a1 = 0, b1 = 0;
    if (direction == 1) { a0 = v0; a1 = v1; b0 = boxH - u1; b1 = boxH - u0; }
    else if (direction == 2) { a0 = boxW - u1; a1 = boxW - u0; b0 = boxH - v1; b1 = boxH - v0; }
    else { a0 = boxW - v1; a1 = boxW - v0; b0 = u0; b1 = u1; }

    RgbImage plate;
    if (!plate.allocate(std::int32_t(a1 - a0), std::int32_t(b1 - b0))) return placement;
    {
        QImage surface = wrap(plate);
        QPainter painter(&surface);
        prepare(painter, font, Qt::white, clampPercent(style.opacity));
        painter.translate(-double(a0), -double(b0));
        painter.drawText(textBox, int(flags), text);
    }
    if (!QuickRotateImageInPlace(plate, direction - 1)) return placement;
    const std::vector<std::uint8_t> alpha = grayScale8Bit(plate);
    fillSolid(plate, style.colour);
    alphaBlendRgb(img, plate, alpha, int(xs.from), int(ys.from));
    return placement;
}

std::optional<StampPlacement> drawStamp(RgbImage& image, const Settings& settings, const QString& text)
{
    StampTarget target;
    target.SetStampTarget(&image);
    return target.DrawStampText(text, stampStyleFromSettings(settings));
}

// -------------------------------------------------------------- the step ----

QString stampPicture(RunState& state, Target& target, const PictureEntry& entry, const PictureMetadata& metadata)
{
    state.puffer1.release();
    const Settings& settings = state.settings;
    const QString text = expandPlaceholders(settings.text, entry.filePath, entry.fileTime, metadata);
    const StampStyle style = stampStyleFromSettings(settings);

    const double W = target.width(), H = target.height();
    const int width = int(std::nearbyint(W)), height = int(std::nearbyint(H));
    const Bitmap* frame = state.neues_bild_dc.bitmap();
    if (!frame || !target.dc()) return QStringLiteral("Fehler in HBITMAPToRGB in Textstempel");

    // The composed frame as RGB, in the target's size.
    RgbImage hilfs_rgb;
    if (!hilfs_rgb.allocate(width, height)) return QStringLiteral("Fehler in GlobalAlloc in Textstempel");
    const int copyW = std::min(width, frame->width()), copyH = std::min(height, frame->height());
    for (int y = 0; y < copyH; ++y) {
        const Pixel* in = frame->row(y);
        std::uint8_t* out = hilfs_rgb.rgb.data() + std::size_t(y) * hilfs_rgb.rowBytes();
        for (int x = 0; x < copyW; ++x, out += 3) {
            out[0] = std::uint8_t(in[x] >> 16);
            out[1] = std::uint8_t(in[x] >> 8);
            out[2] = std::uint8_t(in[x]);
        }
    }

    StampTarget stamp;
    stamp.SetStampTarget(&hilfs_rgb);
    stamp.DrawStampText(text, style);
    stamp.SetStampTarget(nullptr);

    if (!state.puffer1.create(target.dc(), width, height) || !state.puffer1.bitmap())
        return QStringLiteral("Fehler in RGBToHBITMAP in Textstempel");
    Bitmap& bitmap = *state.puffer1.bitmap();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = hilfs_rgb.rgb.data() + std::size_t(y) * hilfs_rgb.rowBytes();
        Pixel* out = bitmap.row(y);
        for (int x = 0; x < width; ++x, in += 3) out[x] = rgbPixel(in[0], in[1], in[2]);
    }
    // One copy puts the stamped frame on the target.
    const bool copied = BitBlt(target.dc(), 0, 0, width, height, state.puffer1.dc(), 0, 0);
    target.present();
    return copied ? QString() : QStringLiteral("Fehler in BitBlt in Textstempel");
}

} // namespace vm

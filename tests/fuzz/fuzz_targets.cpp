#include "fuzz_targets.h"

#include "imaging/loading.h"
#include "pictures/picturelist.h"
#include "pictures/textstamp.h"
#include "platform/imagelib.h"
#include "imaging/metadata.h"
#include "platform/paths.h"
#include "imaging/pcx.h"
#include "imaging/tga.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <vector>
#include <unistd.h>

namespace vm {

namespace {

void require(bool ok)
{
    if (!ok) std::abort();
}

// Success means a whole buffer of the stated size; failure an empty one
// and a number from the library's table.
int checked(int error, const RgbImage& img)
{
    bool known = false;
    for (const IsErrorInfo& e : imageLibraryErrors()) known = known || e.number == error;
    require(known);
    if (error == kIsOk)
        require(img.width > 0 && img.height > 0 && img.rgb.size() == std::size_t(img.width) * std::size_t(img.height) * 3);
    else
        require(img.empty() && img.width == 0 && img.height == 0);
    return error;
}

const QDateTime kFileTime(QDate(2004, 3, 5), QTime(14, 7, 9));

int fuzzLoad(const QString& extension, const std::uint8_t* data, std::size_t size)
{
    // In memory, named for this process, removed after each input.
    const QString path = (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
                         QStringLiteral("/velmirano-fuzz-%1.").arg(::getpid()) + extension.toLower();
    {
        QFile f(path);
        require(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        require(f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    RgbImage img;
    QSize original;
    PictureMetadata metadata;
    const QString message = LoadPicture(path, extension, true, img, QSize(320, 240), &original, &metadata);
    QFile::remove(path);
    int error = kIsOk;
    if (message.isEmpty()) {
        // A reduced decode is never larger than the stored picture.
        const int longest = std::max(original.width(), original.height());
        require(!original.isEmpty() && img.width <= longest && img.height <= longest);
    } else {
        const QString tail = QStringLiteral(" in IS_ReadXXX\n") + path;
        require(message.startsWith(QLatin1String("Fehler ")) && message.endsWith(tail));
        bool number = false;
        error = message.mid(7, message.size() - 7 - tail.size()).toInt(&number);
        require(number && error != kIsOk);
    }
    for (const ExifField& f : metadata.exif) require(f.text.size() <= kMaxMetadataText);
    require(metadata.iptc.size() <= kMaxIptcDataSets);
    return checked(error, img);
}

void fuzzMetadata(const std::uint8_t* data, std::size_t size)
{
    QString text = QStringLiteral("%k|%e274|%e270|%e315|%e36867|%e40091|%e40094|%e|%i25|%i90|%i");
    if (size > 0 && data[0] == '%') {
        std::size_t end = 0;
        while (end < size && end < 256 && data[end] != '\n') ++end;
        text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(end));
        data += std::min(size, end + 1);
        size -= std::min(size, end + 1);
    }
    const auto metadata = ReadPictureMetadata({data, size});
    if (!metadata) return;
    require(metadata->iptc.size() <= kMaxIptcDataSets);
    for (const ExifField& f : metadata->exif)
        require(f.text.size() <= kMaxMetadataText && f.bytes.size() <= kMaxMetadataBytes &&
                GetExifText(*metadata, f.tag).size() <= kMaxMetadataText);
    const QString stamped = expandPlaceholders(text, QStringLiteral("/bilder/urlaub/img01.jpg"), kFileTime, *metadata,
                                               [] { return kFileTime; });
    // Every placeholder yields at most one capped value (IPTC data sets joined).
    const qsizetype perPlaceholder = kMaxMetadataText * qsizetype(kMaxIptcDataSets + 1);
    require(stamped.size() <= text.size() + text.count(QLatin1Char('%')) * perPlaceholder);
}

// The wildcard match worked out over every prefix pair: "*" any run of
// bytes, letters A-Z without regard to case.
bool wildcardReference(const QByteArray& name, const QByteArray& mask)
{
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    const std::size_t n = std::size_t(name.size()), m = std::size_t(mask.size());
    std::vector<std::vector<char>> ok(n + 1, std::vector<char>(m + 1, 0));
    ok[0][0] = 1;
    for (std::size_t j = 1; j <= m; ++j) ok[0][j] = mask[j - 1] == '*' && ok[0][j - 1];
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j)
            ok[i][j] = mask[j - 1] == '*' ? (ok[i][j - 1] || ok[i - 1][j])
                                          : (fold(mask[j - 1]) == fold(name[i - 1]) && ok[i - 1][j - 1]);
    return ok[n][m];
}

void fuzzNames(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> raw = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
    PictureList list;
    QStringList names;
    for (const QByteArray& r : raw) {
        names << PathFromNative(r);
        require(NativePath(names.last()) == r); // every byte comes back
        list.push_back({names.last(), kFileTime});
    }
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        const int ab = CompareNatural(names[i], names[i + 1]), ba = CompareNatural(names[i + 1], names[i]);
        require((ab > 0) == (ba < 0) && (ab == 0) == (ba == 0) && CompareNatural(names[i], names[i]) == 0);
        require(MatchesMask(names[i + 1], QStringLiteral("*")) && (names[i].contains('*') || MatchesMask(names[i], names[i])));
        if (raw[i].size() <= 256 && raw[i + 1].size() <= 256)
            require(MatchesMask(names[i], names[i + 1]) == wildcardReference(raw[i], raw[i + 1]));
    }
    // The sort orders exactly as CompareNatural.
    Random random;
    SortPictureList(list, kOrderNatural, random);
    for (std::size_t i = 1; i < list.size(); ++i) require(CompareNatural(list[i - 1].filePath, list[i].filePath) <= 0);
}

} // namespace

void FuzzLimits() { ::setenv("VELMIRANO_DECODE_BUDGET_MB", "48", 1); }

int FuzzTarget(const QString& target, const std::uint8_t* data, std::size_t size)
{
    RgbImage img;
    if (target == QLatin1String("pcx")) return checked(DecodePCX(data, size, img), img);
    if (target == QLatin1String("tga")) return checked(DecodeTGA(data, size, img), img);
    if (target == QLatin1String("metadata")) return fuzzMetadata(data, size), kIsOk;
    if (target == QLatin1String("names")) return fuzzNames(data, size), kIsOk;
    require(target.startsWith(QLatin1String("load_"))); // the build names no other
    return fuzzLoad(target.mid(5).toUpper(), data, size);
}

} // namespace vm

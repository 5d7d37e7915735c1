// Picture metadata (EXIF tags, IPTC data sets) through exiv2. Every exiv2
// exception stops inside this module: callers see only results.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace vm {

struct IptcDataSet {
    int record = 0;
    int dataSet = 0;
    QString value;
};

class ExifReader {
public:
    ~ExifReader();
    ExifReader(const ExifReader&) = delete;
    ExifReader& operator=(const ExifReader&) = delete;

    // The metadata of a file held in memory, or nothing when the bytes are
    // no picture exiv2 knows or carry neither EXIF nor IPTC data.
    static std::unique_ptr<ExifReader> create(const std::uint8_t* data, std::size_t size);
    // The same for a file on disk; nothing when it cannot be read.
    static std::unique_ptr<ExifReader> create(const QString& path);

    // The text of the tag with this number, looked up in the main picture's
    // directory, then the EXIF, GPS and interoperability directories.
    // Text values come without their trailing zero; byte and undefined
    // values as "x" + hexadecimal byte, joined by ","; numbers as exiv2
    // writes them (rationals as "72/1"). Nothing when the tag is absent.
    std::optional<QString> getString(int tag) const;

    // The tag's value as a whole number (orientation and the like).
    std::optional<long> getNumber(int tag) const;

    // All IPTC data sets in file order; repeated data sets are separate entries.
    const std::vector<IptcDataSet>& iptc() const;

    struct Data; // what was read; defined where exiv2 is known

private:
    explicit ExifReader(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d_;
};

} // namespace vm

// Searching a folder the way the picture scan needs it: names as the file
// system stores them, whether an entry is a folder, its last-write time,
// and the attributes the scan tests.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>

namespace vm {

constexpr std::uint32_t kAttributeHidden = 0x2;
constexpr std::uint32_t kAttributeSystem = 0x4;
constexpr std::uint32_t kAttributeDirectory = 0x10;

// The attributes this platform gives an entry: directory for a folder,
// hidden for a name that starts with "."; nothing is a system entry here.
std::uint32_t PlatformFileAttributes(std::string_view name, bool isDirectory);

// Which real folder a search looks at, whatever path led there.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    bool operator==(const FolderIdentity&) const = default;
};

class FolderSearch {
public:
    // Opens the folder (a path ending with "/", of any length); isOpen() is
    // false when it cannot be searched (missing, no permission, not a folder).
    explicit FolderSearch(const QString& folder);
    // Opens the folder at `relative` (native bytes, shorter than the
    // system's path limit) inside the open folder `base`: a deep tree is
    // searched without one long path per folder.
    FolderSearch(const FolderSearch& base, const QByteArray& relative);
    ~FolderSearch();
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool isOpen() const;
    // Stops reading and closes the folder; a search used as `base` must
    // stay open while others are opened from it.
    void close();
    FolderIdentity identity() const;

    // Moves to the next entry ("." and ".." included, as the system lists
    // them); false at the end or on a read error.
    bool next();
    // The entry's name in the file system's bytes.
    std::string_view name() const;
    // Whether the entry is a folder, following symbolic links; false for an
    // entry that cannot be examined.
    bool isDirectory();
    // The entry's last-write time in whole seconds since 1970 (UTC); false
    // when the entry cannot be examined (a dangling link, a vanished file).
    bool lastWrite(std::int64_t& seconds);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// A file time as a local date-time of whole seconds: the wall-clock time
// here at that moment, carried with its offset from UTC.
QDateTime LocalFileTime(std::int64_t seconds);

} // namespace vm

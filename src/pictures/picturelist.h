// The pictures of a show: which files, in which order.
#pragma once

#include "platform/clock.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <vector>

namespace vm {

struct RunState;
struct Settings;

struct PictureEntry {
    QString filePath;   // the folder text as listed, then the name as the file system has it
    QDateTime fileTime; // last write, local time, whole seconds
};

// Entries 1 to PictureCount live at index 0 to PictureCount - 1.
using PictureList = std::vector<PictureEntry>;

// Order values of the setting `reihenfolge`.
enum PictureOrder : int {
    kOrderNone = 0,
    kOrderName = 1,
    kOrderDate = 2,
    kOrderRandom = 5,
    kOrderNatural = 7,
};

// The attributes of a folder entry (directory 0x10, hidden 0x2, system 0x4)
// for the folder text, the entry's name and whether it is a folder. The
// scan uses the platform's answer unless a test puts its own in.
using AttributeSource =
    std::function<std::uint32_t(const QString& folder, const QString& name, bool isDirectory)>;

// File-name patterns of the enabled file types, in the order jpg, bmp, tif,
// pcx, png, gif, heic (also .heif), avif, webp, jxl.
QStringList FileMasks(const Settings& settings);

// Wildcard match without regard to case; "*" stands for any run of
// characters (also none).
bool MatchesMask(const QString& name, const QString& mask);

// Rebuilds state.pictureList from state.Folders (which it sorts) and the
// settings, ordered by state.settings.reihenfolge. When state.scanStop asks
// the scan to stop, the list stays empty and state.abbruch is set.
void BuildPictureList(RunState& state);
void BuildPictureList(RunState& state, const AttributeSource& attributes);

// Asked about every kScanPollMs while a scan runs; true stops it (the run
// is ending). Empty: never asked.
using ScanStop = std::function<bool()>;
inline constexpr std::int32_t kScanPollMs = 20;

struct ScanOptions {
    QStringList masks;
    bool recursive = false;
    const AttributeSource* attributes = nullptr; // null: the platform's
    const ScanStop* stop = nullptr;
    ClockSource clock = timeGetTime; // paces the questions to `stop`
};

// Appends the matching files of `folder` (ending with "/") to `list`, depth
// first in the order the file system lists the entries. A folder that
// cannot be searched adds nothing; every real folder is searched once, so
// links that lead back into the tree end.
// False when `options.stop` stopped it.
bool ScanFolder(const QString& folder, const ScanOptions& options, PictureList& list);

// Orders folder texts by code unit, case-sensitively.
void SortFolders(QStringList& folders);

// Orders the list in place: 0 keeps it, 1 by lower-cased path, 2 by file
// time, 5 at random (the generator seeded anew from `seed`), 7 by path with
// CompareNatural; any other value keeps it too.
void SortPictureList(PictureList& list, int order, Random& random,
                     const ClockSource& seed = seedFromClock);

// Negative, 0 or positive as `a` sorts before, equal to or after `b`, with
// runs of digits compared by value (Bild2 before Bild10, 10 equal to 010)
// and other runs without regard to case.
int CompareNatural(QStringView a, QStringView b);

} // namespace vm

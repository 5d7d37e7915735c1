#include "pictures/picturelist.h"

#include "platform/foldersearch.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "state/runstate.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace vm {

namespace {

// Shell sort over positions 1..count with gaps 2^k - 1, ..., 3, 1 where
// k = floor(ln(count) / ln 2). Only a strict "greater" swaps, so the place
// of equal elements follows from exactly this gap sequence.
template <class Greater, class Swap>
void shellSort(int count, Greater greater, Swap swap)
{
    if (count < 1) return;
    const int k = int(std::floor(std::log(double(count)) / std::log(2.0)));
    int gap = int((1LL << k) - 1);
    while (gap > 0) {
        for (int i = 1; i <= count - gap; ++i) {
            int j = i;
            while (j >= 1) {
                if (!greater(j, j + gap)) break;
                swap(j, j + gap);
                j -= gap;
            }
        }
        gap /= 2;
    }
}

// Sorts the list through a permutation so that keys are made once.
template <class Greater>
void sortByPermutation(PictureList& list, Greater greaterOfIndexes)
{
    const int count = int(list.size());
    std::vector<int> perm(list.size());
    for (int i = 0; i < count; ++i) perm[std::size_t(i)] = i;
    shellSort(
        count,
        [&](int a, int b) { return greaterOfIndexes(perm[std::size_t(a - 1)], perm[std::size_t(b - 1)]); },
        [&](int a, int b) { std::swap(perm[std::size_t(a - 1)], perm[std::size_t(b - 1)]); });
    PictureList sorted;
    sorted.reserve(list.size());
    for (int i : perm) sorted.push_back(std::move(list[std::size_t(i)]));
    list.swap(sorted);
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Wildcard match of UTF-8 bytes, letters A-Z without regard to case.
bool wildcardMatch(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && foldAscii(pattern[p]) == foldAscii(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Depth first, entries in the order the file system lists them, with an
// explicit stack: a folder's entries are read and the folder closed before
// its subfolders are entered, so the depth of a tree costs neither open
// handles nor call stack. Every few thousand bytes of path one folder stays
// open as the base the deeper ones are opened from, so no path handed to
// the system grows beyond its limit however deep the tree.
struct Scanner {
    static constexpr qsizetype kBaseDistance = 2048;

    struct Entry {
        QByteArray name;
        bool isDir = false;
        std::uint32_t attr = 0;
        std::int64_t seconds = 0;
    };
    struct Frame {
        QString folder;                       // as listed, ending with "/"
        std::vector<Entry> entries;
        std::size_t next = 0;
        std::unique_ptr<FolderSearch> base;   // kept open when deeper folders open from it
        std::size_t baseFrame = 0;            // the frame whose folder `relative` starts from
        QByteArray relative;
    };

    std::vector<std::string> masks;
    bool recursive = false;
    const AttributeSource* attributes = nullptr;
    std::set<std::pair<std::uint64_t, std::uint64_t>> visited;
    PictureList* list = nullptr;
    const ScanStop* stop = nullptr;
    ClockSource clock;
    std::uint32_t lastAsked = 0;
    bool stopped = false;

    // Whether the run asks the scan to end; asked at most every kScanPollMs.
    bool stopNow()
    {
        if (stopped) return true;
        if (!stop || !*stop) return false;
        const std::uint32_t now = clock();
        if (elapsedMs(lastAsked, now) < kScanPollMs) return false;
        lastAsked = now;
        stopped = (*stop)();
        return stopped;
    }

    bool matches(std::string_view name) const
    {
        for (const std::string& m : masks)
            if (wildcardMatch(name, m)) return true;
        return false;
    }

    // Reads the open folder's entries into the frame; false when the folder
    // was searched before (a link back into the tree).
    bool read(FolderSearch& search, Frame& frame)
    {
        const FolderIdentity id = search.identity();
        if (!visited.insert({id.device, id.node}).second) return false;
        while (search.next()) {
            // A huge folder is read with the same attention as many small ones.
            if ((frame.entries.size() & 255) == 255 && stopNow()) return false;
            const std::string_view raw = search.name();
            Entry e;
            e.name = QByteArray(raw.data(), qsizetype(raw.size()));
            e.isDir = search.isDirectory();
            e.attr = attributes ? (*attributes)(frame.folder, PathFromNative(e.name), e.isDir)
                                : PlatformFileAttributes(raw, e.isDir);
            if (!(e.attr & kAttributeDirectory)) {
                // A file that vanished or cannot be examined adds nothing.
                if (!matches(raw) || !search.lastWrite(e.seconds)) continue;
            } else if (!recursive || raw == "." || raw == ".." ||
                       e.attr == (kAttributeDirectory | kAttributeSystem | kAttributeHidden)) {
                continue;
            }
            frame.entries.push_back(std::move(e));
        }
        return true;
    }

    void scan(const QString& folder)
    {
        if (stop && *stop) lastAsked = clock() - std::uint32_t(kScanPollMs); // ask at once
        if (stopNow()) return;
        std::vector<Frame> stack;
        {
            auto search = std::make_unique<FolderSearch>(folder);
            if (!search->isOpen()) return;
            Frame top;
            top.folder = folder;
            if (!read(*search, top)) return;
            top.base = std::move(search);
            stack.push_back(std::move(top));
        }
        while (!stack.empty()) {
            if (stopNow()) return;
            Frame& frame = stack.back();
            if (frame.next == frame.entries.size()) {
                stack.pop_back();
                continue;
            }
            Entry& e = frame.entries[frame.next++];
            if (!(e.attr & kAttributeDirectory)) {
                list->push_back({frame.folder + PathFromNative(e.name), LocalFileTime(e.seconds)});
                continue;
            }
            Frame child;
            child.folder = frame.folder + PathFromNative(e.name) + QLatin1Char('/');
            const std::size_t self = stack.size() - 1;
            child.baseFrame = frame.base ? self : frame.baseFrame;
            child.relative = frame.base ? e.name : frame.relative + '/' + e.name;
            auto search = std::make_unique<FolderSearch>(*stack[child.baseFrame].base, child.relative);
            if (!search->isOpen() || !read(*search, child)) continue;
            if (child.relative.size() > kBaseDistance) {
                child.base = std::move(search);
                child.relative.clear();
            }
            stack.push_back(std::move(child)); // `frame` may move: not used after this
        }
    }
};

// A text whose plain code-unit order equals CompareNatural's. Each run
// starts with a mark: 1 for digits, 2 for other characters, so digit runs
// come first. A digit run carries its value's length, then its digits
// without leading zeros. Every other character, lower-cased, becomes two
// units (2 + its high byte, then its low byte), so a run that ends, where
// only a digit mark (1) or the end can follow, sorts before one that goes
// on, whatever characters a name holds (control characters included).
QString naturalKey(QStringView text)
{
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    QString key;
    key.reserve(2 * text.size() + 8);
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype start = i;
        const bool digits = isDigit(text[i]);
        while (i < text.size() && isDigit(text[i]) == digits) ++i;
        if (digits) {
            qsizetype first = start;
            while (first < i && text[first] == QLatin1Char('0')) ++first;
            key += QChar(1);
            key += QChar(char16_t(std::min<qsizetype>(i - first, 0xFFFF)));
            key += text.mid(first, i - first);
        } else {
            key += QChar(2);
            for (qsizetype k = start; k < i; ++k) {
                const char16_t c = text[k].toLower().unicode();
                key += QChar(char16_t(2 + (c >> 8)));
                key += QChar(char16_t(c & 0xFF));
            }
        }
    }
    return key;
}

// The wall-clock time of a file time, as the stored date-time value orders.
qint64 wallClockMs(const QDateTime& t) { return t.toMSecsSinceEpoch() + qint64(t.offsetFromUtc()) * 1000; }

} // namespace

QStringList FileMasks(const Settings& s)
{
    QStringList masks;
    if (s.jpg == 1) masks << QStringLiteral("*.jpg");
    if (s.bmp == 1) masks << QStringLiteral("*.bmp");
    if (s.tif == 1) masks << QStringLiteral("*.tif");
    if (s.pcx == 1) masks << QStringLiteral("*.pcx");
    if (s.png == 1) masks << QStringLiteral("*.png");
    if (s.gif == 1) masks << QStringLiteral("*.gif");
    if (s.heic == 1) masks << QStringLiteral("*.heic") << QStringLiteral("*.heif");
    if (s.avif == 1) masks << QStringLiteral("*.avif");
    if (s.webp == 1) masks << QStringLiteral("*.webp");
    if (s.jxl == 1) masks << QStringLiteral("*.jxl");
    return masks;
}

bool MatchesMask(const QString& name, const QString& mask)
{
    const QByteArray n = NativePath(name), m = NativePath(mask);
    return wildcardMatch(std::string_view(n.constData(), std::size_t(n.size())),
                         std::string_view(m.constData(), std::size_t(m.size())));
}

bool ScanFolder(const QString& folder, const ScanOptions& options, PictureList& list)
{
    Scanner scanner;
    for (const QString& m : options.masks) scanner.masks.push_back(m.toStdString());
    scanner.recursive = options.recursive;
    scanner.attributes = options.attributes;
    scanner.list = &list;
    scanner.stop = options.stop;
    scanner.clock = options.clock ? options.clock : ClockSource(timeGetTime);
    scanner.scan(folder);
    return !scanner.stopped;
}

void SortFolders(QStringList& folders)
{
    shellSort(
        int(folders.size()),
        [&](int a, int b) { return QStringView(folders[a - 1]).compare(QStringView(folders[b - 1])) > 0; },
        [&](int a, int b) { folders.swapItemsAt(a - 1, b - 1); });
}

void SortPictureList(PictureList& list, int order, Random& random, const ClockSource& seed)
{
    const int count = int(list.size());
    if (order == kOrderNone || count < 1) return;
    switch (order) {
    case kOrderName: {
        std::vector<QString> keys;
        keys.reserve(list.size());
        for (const PictureEntry& e : list) keys.push_back(e.filePath.toLower());
        sortByPermutation(list, [&](int a, int b) {
            return QStringView(keys[std::size_t(a)]).compare(QStringView(keys[std::size_t(b)])) > 0;
        });
        return;
    }
    case kOrderDate: {
        std::vector<qint64> keys;
        keys.reserve(list.size());
        for (const PictureEntry& e : list) keys.push_back(wallClockMs(e.fileTime));
        sortByPermutation(list, [&](int a, int b) { return keys[std::size_t(a)] > keys[std::size_t(b)]; });
        return;
    }
    case kOrderNatural: {
        // Keys made once order exactly as CompareNatural does.
        std::vector<QString> keys;
        keys.reserve(list.size());
        for (const PictureEntry& e : list) keys.push_back(naturalKey(e.filePath));
        sortByPermutation(list, [&](int a, int b) {
            return QStringView(keys[std::size_t(a)]).compare(QStringView(keys[std::size_t(b)])) > 0;
        });
        return;
    }
    case kOrderRandom: {
        random.seedWith(seed());
        // Entry i goes to a free place drawn at random; a place already
        // taken is drawn again.
        std::vector<int> place(std::size_t(count) + 1, -1);
        int i = 0;
        while (i < count) {
            double r = random.next();
            // 24 random bits cannot reach every place of a longer list.
            if (count > (1 << 24)) r += random.next() / 16777216.0;
            const int k = int(std::floor(r * count + 1));
            if (k < 1 || k > count || place[std::size_t(k)] >= 0) continue;
            place[std::size_t(k)] = i++;
        }
        PictureList shuffled;
        shuffled.reserve(list.size());
        for (int k = 1; k <= count; ++k) shuffled.push_back(std::move(list[std::size_t(place[std::size_t(k)])]));
        list.swap(shuffled);
        return;
    }
    default:
        return; // never greater: no swaps
    }
}

int CompareNatural(QStringView a, QStringView b)
{
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype i = 0, j = 0;
    for (;;) {
        if (i >= a.size()) return j < b.size() ? -1 : 0;
        if (j >= b.size()) return 1;
        const qsizetype ai = i, bj = j;
        const bool da = isDigit(a[i]), db = isDigit(b[j]);
        while (i < a.size() && isDigit(a[i]) == da) ++i;
        while (j < b.size() && isDigit(b[j]) == db) ++j;
        if (da != db) return da ? -1 : 1;
        const qsizetype la = i - ai, lb = j - bj;
        int r = 0;
        if (da) {
            // Pad the shorter run with leading zeros.
            const qsizetype len = std::max(la, lb);
            for (qsizetype p = 0; p < len && r == 0; ++p) {
                const QChar ca = p < len - la ? QLatin1Char('0') : a[ai + p - (len - la)];
                const QChar cb = p < len - lb ? QLatin1Char('0') : b[bj + p - (len - lb)];
                r = ca < cb ? -1 : (ca > cb ? 1 : 0);
            }
        } else {
            const qsizetype len = std::min(la, lb);
            for (qsizetype p = 0; p < len && r == 0; ++p) {
                const char16_t ca = a[ai + p].toLower().unicode(), cb = b[bj + p].toLower().unicode();
                r = ca < cb ? -1 : (ca > cb ? 1 : 0);
            }
            if (r == 0 && la != lb) r = la < lb ? -1 : 1;
        }
        if (r != 0) return r;
    }
}

void BuildPictureList(RunState& state, const AttributeSource& attributes)
{
    ScanOptions options;
    options.masks = FileMasks(state.settings);
    options.recursive = state.settings.recursive == 1;
    options.attributes = attributes ? &attributes : nullptr;
    options.stop = &state.scanStop;
    SortFolders(state.Folders);
    state.pictureList.clear();
    // Without a pattern nothing can match: no need to walk the folders.
    if (!options.masks.isEmpty())
        for (const QString& folder : state.Folders)
            if (!ScanFolder(folder, options, state.pictureList)) {
                state.pictureList.clear();
                state.abbruch = true;
                return;
            }
    if (state.pictureList.empty()) return;
    state.pictureList.shrink_to_fit();
    SortPictureList(state.pictureList, state.settings.reihenfolge, state.random);
}

void BuildPictureList(RunState& state) { BuildPictureList(state, AttributeSource()); }

} // namespace vm

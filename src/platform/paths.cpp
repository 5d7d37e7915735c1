#include "platform/paths.h"

#include <cerrno>
#include <climits>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vm {

namespace {

constexpr char16_t kCarriedFirst = 0xDC80;
constexpr char16_t kCarriedLast = 0xDCFF;

// Length of the valid UTF-8 sequence at p (1..4), or 0 when the bytes there
// are not one (overlong forms, surrogates and values beyond U+10FFFF count
// as invalid, so every byte of them is carried).
int utf8Length(const unsigned char* p, qsizetype left, char32_t& cp)
{
    const unsigned char b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    int n = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

} // namespace

QString PathFromNative(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t cp = 0;
        const int len = utf8Length(p + i, n - i, cp);
        if (len == 0) {
            out += QChar(char16_t(kCarriedFirst + (p[i] - 0x80)));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += len;
    }
    return out;
}

QByteArray NativePath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        char32_t cp = c;
        if (c >= kCarriedFirst && c <= kCarriedLast) {
            out += char(0x80 + (c - kCarriedFirst));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(c, path[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            cp = 0xFFFD; // a lone surrogate that no native name produced
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

QString DisplayPath(const QString& path)
{
    QString out = path;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < kCarriedFirst || u > kCarriedLast) continue;
        const char16_t byte = char16_t(0x80 + (u - kCarriedFirst));
        c = byte >= 0xA0 ? QChar(byte) : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

namespace {

int openWith(const QByteArray& path, int flags)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    if (path.size() < PATH_MAX) return ::open(path.constData(), flags);
    // Too long for one call: open the folders on the way in pieces shorter
    // than the limit, each relative to the one before.
    constexpr qsizetype kPiece = PATH_MAX / 2;
    int dir = AT_FDCWD;
    qsizetype start = 0;
    if (path.startsWith('/')) {
        dir = ::open("/", O_RDONLY | O_CLOEXEC | O_DIRECTORY);
        if (dir < 0) return -1;
        start = 1;
    }
    for (;;) {
        qsizetype end = path.size();
        const bool last = end - start < kPiece;
        if (!last) {
            end = path.lastIndexOf('/', start + kPiece);
            if (end <= start) {
                if (dir != AT_FDCWD) ::close(dir);
                errno = ENAMETOOLONG; // one name longer than the system allows
                return -1;
            }
        }
        const QByteArray piece = path.mid(start, end - start);
        const int next = ::openat(dir, piece.isEmpty() ? "." : piece.constData(),
                                  last ? flags : (O_RDONLY | O_CLOEXEC | O_DIRECTORY));
        const int saved = errno;
        if (dir != AT_FDCWD) ::close(dir);
        errno = saved;
        if (next < 0 || last) return next;
        dir = next;
        start = end + 1;
    }
}

} // namespace

int OpenNativePath(const QByteArray& path, bool directory)
{
    // Never waiting: a pipe named like a picture would block until someone
    // writes to it (the caller refuses anything but a file or folder).
    return openWith(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (directory ? O_DIRECTORY : 0));
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileHandle::~FileHandle()
{
    if (fd_ >= 0) ::close(fd_);
}

int FileHandle::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

namespace {

OpenFailure failureFor(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return OpenFailure::AccessDenied;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG: return OpenFailure::NotFound;
    case ENXIO:
    case ENODEV: return OpenFailure::NotAFile;
    default: return OpenFailure::ReadFailed;
    }
}

// The kernel's own file systems: their "files" are processes, devices and
// settings, never pictures.
bool pseudoFileSystem(long type)
{
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFUL) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x1cd1:     // devpts
    case 0xcafe4a11: // bpf
    case 0x6165676C: // pstore
    case 0xde5e81e4: // efivarfs
    case 0x62656570: // configfs
    case 0x65735543: // fusectl
    case 0xf97cff8c: // selinuxfs
    case 0x43415d53: // smackfs
    case 0x6e736673: // nsfs
    case 0x42494e4d: // binfmt_misc
    case 0x09041934: // anonymous inodes
        return true;
    default: return false;
    }
}

// What may be handed over: a regular file on a real file system.
OpenFailure acceptable(int fd, struct stat& st)
{
    struct statfs fs {};
    if (::fstat(fd, &st) != 0 || ::fstatfs(fd, &fs) != 0) return failureFor(errno);
    if (!S_ISREG(st.st_mode) || pseudoFileSystem(long(fs.f_type))) return OpenFailure::NotAFile;
    return OpenFailure::None;
}

} // namespace

OpenedPicture OpenPictureFile(const QString& path)
{
    OpenedPicture result;
    const int readFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Looked at before it is opened: opening a device can already do
    // something.
    const FileHandle located(openWith(NativePath(path), O_PATH | O_CLOEXEC));
    if (!located.valid()) {
        result.failure = failureFor(errno);
        return result;
    }
    struct stat seen {};
    if ((result.failure = acceptable(located.get(), seen)) != OpenFailure::None) return result;
    // The very file looked at, whatever happens to its name meanwhile.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", located.get());
    FileHandle file(::open(self, readFlags));
    if (!file.valid() && errno == ENOENT) file = FileHandle(openWith(NativePath(path), readFlags)); // no /proc
    if (!file.valid()) {
        result.failure = failureFor(errno);
        return result;
    }
    struct stat opened {};
    if ((result.failure = acceptable(file.get(), opened)) != OpenFailure::None) return result;
    if (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        result.failure = OpenFailure::NotFound; // replaced while it was opened
        return result;
    }
    result.file = std::move(file);
    return result;
}

} // namespace vm

#include "platform/paths.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
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

int OpenNativePath(const QByteArray& path, bool directory)
{
    // Never waiting: a pipe named like a picture would block until someone
    // writes to it (the caller refuses anything but a file or folder).
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (directory ? O_DIRECTORY : 0);
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

} // namespace vm

// How this platform writes file paths, and how a path crosses between the
// program's text and the operating system's bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace vm {

constexpr bool platformUsesDrivePaths()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

// A file name is a run of bytes on Linux, not necessarily UTF-8. The
// program keeps a path as text in which valid UTF-8 is decoded and every
// byte that is not carries itself as the lone surrogate U+DC80 + (byte -
// 0x80); NativePath gives back exactly the bytes that came in, so a name in
// Latin-1 is listed, sorted and opened like any other.
QString PathFromNative(QByteArrayView bytes);
QByteArray NativePath(const QString& path);

// The path as a person reads it in a message: carried bytes shown as the
// Latin-1 characters they most likely are (control bytes as U+FFFD).
QString DisplayPath(const QString& path);

// Opens a file or folder by path for reading, however long the path: a path
// beyond the system's limit is walked from folder to folder. -1 with errno
// on failure. `directory` asks for a folder (O_DIRECTORY). Opening never
// waits (a pipe opens at once).
int OpenNativePath(const QByteArray& path, bool directory);

// An open descriptor that closes itself.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

enum class OpenFailure { None, NotFound, AccessDenied, NotAFile, ReadFailed };

struct OpenedPicture {
    FileHandle file;
    OpenFailure failure = OpenFailure::None;
};

// Opens a picture for a decoder to read, read only and close-on-exec. Only
// a regular file is opened, and none on the kernel's own file systems (a
// link named like a picture to /proc/self/mem would hand over this
// process's memory). Devices and pipes are refused before they are opened,
// so opening has no side effect on them.
OpenedPicture OpenPictureFile(const QString& path);

// Whether two paths that differ only in letter case name the same file, as
// on Windows file systems.
constexpr bool platformPathsIgnoreCase() { return platformUsesDrivePaths(); }

} // namespace vm

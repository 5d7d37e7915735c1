#include "platform/foldersearch.h"

#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace vm {

std::uint32_t PlatformFileAttributes(std::string_view name, bool isDirectory)
{
    std::uint32_t a = isDirectory ? kAttributeDirectory : 0;
    if (!name.empty() && name.front() == '.') a |= kAttributeHidden;
    return a;
}

struct FolderSearch::Impl {
    DIR* dir = nullptr;
    FolderIdentity id;
    dirent* entry = nullptr;
    bool statDone = false;
    bool statOk = false;
    struct stat st {};

    void identify();
    bool statEntry()
    {
        if (!statDone) {
            statDone = true;
            statOk = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0;
        }
        return statOk;
    }
};

namespace {

DIR* openFolder(int fd)
{
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (!dir) ::close(fd);
    return dir;
}

} // namespace

FolderSearch::FolderSearch(const QString& folder) : d_(std::make_unique<Impl>())
{
    d_->dir = openFolder(OpenNativePath(NativePath(folder), true));
    d_->identify();
}

FolderSearch::FolderSearch(const FolderSearch& base, const QByteArray& relative) : d_(std::make_unique<Impl>())
{
    if (!base.d_->dir || relative.isEmpty()) return;
    d_->dir = openFolder(::openat(::dirfd(base.d_->dir), relative.constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
    d_->identify();
}

void FolderSearch::Impl::identify()
{
    if (!dir) return;
    struct stat st {};
    if (::fstat(::dirfd(dir), &st) != 0) {
        ::closedir(dir);
        dir = nullptr;
        return;
    }
    id = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

FolderSearch::~FolderSearch() { close(); }

void FolderSearch::close()
{
    if (d_->dir) ::closedir(d_->dir);
    d_->dir = nullptr;
    d_->entry = nullptr;
}

bool FolderSearch::isOpen() const { return d_->dir != nullptr; }
FolderIdentity FolderSearch::identity() const { return d_->id; }

bool FolderSearch::next()
{
    if (!d_->dir) return false;
    d_->entry = ::readdir(d_->dir);
    d_->statDone = false;
    return d_->entry != nullptr;
}

std::string_view FolderSearch::name() const
{
    return d_->entry ? std::string_view(d_->entry->d_name) : std::string_view();
}

bool FolderSearch::isDirectory()
{
    if (!d_->entry) return false;
    switch (d_->entry->d_type) {
    case DT_DIR: return true;
    case DT_REG: return false;
    default: break; // links and file systems that do not say: ask
    }
    return d_->statEntry() && S_ISDIR(d_->st.st_mode);
}

bool FolderSearch::lastWrite(std::int64_t& seconds)
{
    if (!d_->entry || !d_->statEntry()) return false;
    seconds = std::int64_t(d_->st.st_mtim.tv_sec);
    return true;
}

QDateTime LocalFileTime(std::int64_t seconds)
{
    const time_t t = time_t(seconds);
    struct tm local {};
    if (!::localtime_r(&t, &local)) return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    // A fixed offset needs no time-zone lookup, which costs microseconds per
    // call, and still tells the local wall-clock time of that moment.
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, int(local.tm_gmtoff));
}

} // namespace vm

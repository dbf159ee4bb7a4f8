#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

#include "settings/file_access.h"
#include "settings/temp_names.h"

namespace settings {

namespace {

bool ReadAll(int fd, char* data, uint32_t size, uint32_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = read(fd, data + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;  // the file shrank meanwhile
        got += static_cast<uint32_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A settings file that is a symbolic link is replaced at the link's target,
// so the link survives the rewrite.
std::string ResolveTarget(const std::string& path) {
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::atomic<unsigned> tempCounter{0};

// How long a save waits for another live process to finish its own save.
constexpr int kLockWaitMs = 10000;

void SleepOneMillisecond() {
    const timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Every save goes through one temporary name per settings file, held under an
// exclusive lock while it is written and renamed. A save that is killed
// leaves only that file, which the next save truncates and renames; a second
// live saver waits for the lock instead of writing into the same file.
//
// The file a waiter locked may meanwhile have been renamed into place or
// removed by the saver before it, so after the lock the name must still lead
// to the locked file; otherwise the name is opened again. -1 when the lock
// cannot be had (unsupported by the file system, or held for too long) or the
// name is not a plain file of ours; the caller then falls back to a private
// name.
int OpenSharedTemp(const std::string& temp) {
    for (int waited = 0; waited < kLockWaitMs;) {
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return -1;
        bool locked = false;
        while (waited < kLockWaitMs) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                break;
            }
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) break;
            SleepOneMillisecond();
            ++waited;
        }
        struct stat held{};
        struct stat named{};
        if (locked && fstat(fd, &held) == 0 && lstat(temp.c_str(), &named) == 0 && SameFile(held, named)) {
            if (S_ISREG(held.st_mode) && ftruncate(fd, 0) == 0) return fd;
            close(fd);
            return -1;
        }
        close(fd);
        if (!locked) return -1;
        ++waited;
    }
    return -1;
}

int OpenPrivateTemp(const std::string& path, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = PrivateTempPath(path, static_cast<unsigned long>(getpid()), tempCounter.fetch_add(1));
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Removes the private temporaries that saves of processes no longer running
// left behind (a save killed before its rename, or earlier versions, which
// always used private names). A live process's file is never touched.
void RemoveDeadSaversTemps(const std::string& path) {
    const std::string folder = FolderOf(path);
    const size_t slash = path.rfind('/');
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const unsigned long owner = PrivateTempOwner(entry->d_name, fileName);
        if (owner == 0 || owner > INT_MAX || owner == static_cast<unsigned long>(getpid())) continue;
        if (kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
        const std::string leftover = folder + "/" + entry->d_name;
        struct stat st{};
        if (lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(leftover.c_str());
    }
    closedir(dir);
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::unique_ptr<char[]>& data, uint32_t& size) {
    data.reset();
    size = 0;
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st{};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
              static_cast<uint64_t>(st.st_size) <= kMaxFileSize;
    if (ok && st.st_size > 0) {
        const uint32_t wanted = static_cast<uint32_t>(st.st_size);
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[wanted]);
        uint32_t got = 0;
        ok = buffer && ReadAll(fd, buffer.get(), wanted, got);
        if (ok && got > 0) {
            data = std::move(buffer);
            size = got;
        }
    }
    close(fd);
    return ok;
}

bool ReplaceFileContent(const std::string& requested, const char* data, size_t size) {
    const std::string path = ResolveTarget(requested);
    // Renaming would replace a file that its owner made read-only; writing it
    // in place would have been refused, so this is refused too.
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) return false;
    std::string temp = SharedTempPath(path);
    int fd = OpenSharedTemp(temp);
    if (fd < 0) fd = OpenPrivateTemp(path, temp);
    if (fd < 0) return false;

    // The new file keeps the old one's permissions.
    struct stat old{};
    if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);

    // The file stays open, and so locked, until it has been renamed or
    // removed. It was synced before the rename, so closing it cannot lose data.
    const bool ok = WriteAll(fd, data, size) && fsync(fd) == 0 && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    close(fd);
    if (!ok) return false;
    // Make the rename itself durable; a failure here no longer risks the content.
    const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    RemoveDeadSaversTemps(path);
    return true;
}

}  // namespace settings

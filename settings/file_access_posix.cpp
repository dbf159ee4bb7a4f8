#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

#include "settings/file_access.h"

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
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + "." + std::to_string(static_cast<long>(getpid())) + "-" +
               std::to_string(tempCounter.fetch_add(1)) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // The new file keeps the old one's permissions.
    struct stat old{};
    if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);

    bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here no longer risks the content.
    const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace settings

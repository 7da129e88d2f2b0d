#include "render/atomic_file.h"
#include "render/path_parts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace render {

namespace {



// The mode a new file gets from open(2) with 0666: the umask, read without changing it
// for good (umask has no read-only form; this runs before any thread starts writing).
mode_t new_file_mode() {
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~mask;
}

bool fail(std::string *error, const std::string &target, const std::string &what) {
    if (error) *error = "cannot write " + target + ": " + what;
    return false;
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

void AtomicFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

bool AtomicFile::open(std::string *error) {
    discard();
    committed_ = false;
    // Hidden, and named after the target, so that a temporary file left by a killed run
    // says whose it was.
    std::string pattern = folder_of(target_) + "/." + name_of(target_) + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return fail(error, target_, std::strerror(errno));
    fd_ = fd;
    temp_ = name.data();
    struct stat old;
    const mode_t mode = stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
    if (fchmod(fd_, mode) != 0) {
        const int e = errno;
        discard();
        return fail(error, target_, std::strerror(e));
    }
    return true;
}

bool AtomicFile::write(const std::string &bytes, std::string *error) {
    if (fd_ < 0) return fail(error, target_, "the file is not open");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(error, target_, n < 0 ? std::strerror(errno) : "nothing more could be written");
        done += static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string *error) {
    if (fd_ < 0 || temp_.empty()) return fail(error, target_, "the file is not open");
    // The data must be on the disk before the rename makes it the target's, or a crash
    // could leave an empty target behind.
    if (fsync(fd_) != 0) {
        const int e = errno;
        discard();
        return fail(error, target_, std::strerror(e));
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        const int e = errno;
        discard();
        return fail(error, target_, std::strerror(e));
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        discard();
        return fail(error, target_, std::strerror(e));
    }
    committed_ = true;
    temp_.clear();
    // The rename itself lasts once the folder is on the disk; a folder that cannot be
    // synced (some file systems) leaves the file written all the same.
    const int dir = ::open(folder_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool write_file_atomically(const std::string &path, const std::string &bytes, std::string *error) {
    AtomicFile file(path);
    return file.open(error) && file.write(bytes, error) && file.commit(error);
}

bool write_stream_atomically(const std::string &path, const std::function<bool(FILE *, std::string *why)> &write,
                             std::string *error) {
    AtomicFile file(path);
    if (!file.open(error)) return false;
    // The stream owns a duplicate of the descriptor: closing it leaves the file's own open
    // for the commit's flush to the disk.
    const int fd = dup(file.fd());
    FILE *stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!stream) {
        const int e = errno;
        if (fd >= 0) close(fd);
        return fail(error, path, std::strerror(e));
    }
    std::string why;
    errno = 0;
    const bool wrote = write(stream, &why);
    int e = errno;
    // A stream's failed write is the system's to explain (a full disk, a file size limit).
    bool stream_failed = std::ferror(stream) != 0;
    if (std::fflush(stream) != 0 && !stream_failed) stream_failed = true, e = errno;
    if (std::fclose(stream) != 0 && !stream_failed) stream_failed = true, e = errno;
    if (stream_failed) return fail(error, path, std::strerror(e != 0 ? e : EIO));
    if (!wrote) return fail(error, path, why.empty() ? "the write failed" : why);
    return file.commit(error);
}

}  // namespace render

// Files written whole or not at all.
//
// A writer never opens its target: it writes a temporary file in the target's folder (same
// file system, so the final rename is one atomic step), and `commit` flushes that file to
// the disk, checks that the flush and the close succeeded, and renames it over the target.
// A full disk, a file size limit, a crash or a refusal therefore never leaves a half-written
// file, and an old file stays as it was until its replacement is complete. An AtomicFile
// destroyed without a successful commit removes its temporary file.
//
// The new file takes the mode the old one had; a new name gets 0666 less the umask, as
// open(2) would give it.
#ifndef RENDER_ATOMIC_FILE_H
#define RENDER_ATOMIC_FILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace render {

class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary file. False with a one-line reason naming the target.
    bool open(std::string *error);

    // Where to write: writers that take a file name (OpenEXR, Assimp's exporter) use the
    // path, the others the descriptor. The descriptor stays open until commit.
    const std::string &temp_path() const { return temp_; }
    int fd() const { return fd_; }
    const std::string &target() const { return target_; }

    // Writes all of `bytes` at the descriptor; false with a reason on a short write.
    bool write(const std::string &bytes, std::string *error);

    // Flushes, closes and renames the temporary file over the target. False with a
    // one-line reason (the target then is as it was, and the temporary file is gone).
    bool commit(std::string *error);

private:
    void discard();

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
};

// The whole of `bytes` as the file at `path`, atomically.
bool write_file_atomically(const std::string &path, const std::string &bytes, std::string *error);

// For writers that take a stdio stream (libpng): `write` writes the file through a stream
// over the temporary file and returns false, with a reason in *why, when it fails; the
// stream's own write, flush and close are checked too. Then the file is committed.
bool write_stream_atomically(const std::string &path, const std::function<bool(FILE *, std::string *why)> &write,
                             std::string *error);

}  // namespace render

#endif

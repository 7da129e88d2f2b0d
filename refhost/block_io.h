// The host's block I/O: LWSaveState and LWLoadState over a byte buffer, in both storage
// modes.
//
// Binary mode (LWIO_BINARY) is chunked like IFF: a block is its four-character identifier,
// a 32-bit size and its contents; every value is big-endian; a string is its bytes and a
// terminating zero byte.
//
// Text mode (LWIO_ASCII) looks like the host's scene files: a block is "{ Token" on a line
// of its own, its contents indented below, and "}"; each write call puts its values on one
// line, numbers as decimal text, strings in double quotes with \" \\ and \xHH escapes.
//
// Readers never read past the end of the block they are in, stop at the first value that
// is missing or malformed, and treat the data as untrusted: a block that claims more bytes
// than its parent holds is cut to its parent, a text block without its closing brace ends
// with the data, and a stray closing brace outside every block is ignored.
#ifndef REFHOST_BLOCK_IO_H
#define REFHOST_BLOCK_IO_H

#include <memory>
#include <string>

#include "host/lwsdk.h"

namespace refhost {

// Collects what a plug-in writes into a byte buffer.
class BlockWriter {
public:
    explicit BlockWriter(int io_mode);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // The state to hand to a save callback; valid while the writer lives.
    const LWSaveState *state() const { return &state_; }
    int io_mode() const { return state_.ioMode; }

    // The bytes written so far, with every block that is still open closed.
    std::string bytes() const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
    LWSaveState state_;
};

// Hands a byte buffer to a plug-in's load callback.
class BlockReader {
public:
    BlockReader(int io_mode, std::string data);
    ~BlockReader();
    BlockReader(const BlockReader &) = delete;
    BlockReader &operator=(const BlockReader &) = delete;

    const LWLoadState *state() const { return &state_; }
    int io_mode() const { return state_.ioMode; }

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
    LWLoadState state_;
};

// Whole files, for saving scenes to disk and reading them back. read_file returns false
// (and leaves out empty) when the file cannot be read.
bool write_file(const std::string &path, const std::string &bytes);
bool read_file(const std::string &path, std::string &out);

}  // namespace refhost

#endif

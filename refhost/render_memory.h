// "Global Render Memory": named chunks of zeroed memory that plug-ins share during a render.
//
// A chunk's handle is the address of its memory, so a plug-in reads and writes the chunk
// through the handle it gets from `find` or `create`. Addresses stay put until the pool is
// cleared, which the host does between renders. Every operation takes the pool's lock, so
// render threads may create and look up chunks at the same time, except a `find` of the
// chunk the calling thread found last: plug-ins look up their thread's chunk for every
// spot, and a lock taken by every thread for every spot would bounce its cache line
// between the cores.
#ifndef REFHOST_RENDER_MEMORY_H
#define REFHOST_RENDER_MEMORY_H

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <new>
#include <mutex>
#include <string>
#include <vector>

#include "host/lwsdk.h"

namespace refhost {

class Host;

class RenderMemory {
public:
    explicit RenderMemory(Host &);

    // The chunk of that name, or null.
    LWMemChunk find(const char *name) const;
    // A new zeroed chunk. A name already in the pool gives the existing chunk when it is at
    // least `size` bytes and null otherwise (handing out a smaller chunk would let the caller
    // write past its end); a negative size or a null name gives null.
    LWMemChunk create(const char *name, int size);
    // Chunks in the order they were created.
    LWMemChunk first() const;
    LWMemChunk next(LWMemChunk chunk) const;
    const char *id(LWMemChunk chunk) const;
    int size(LWMemChunk chunk) const;

    size_t count() const;
    // Frees every chunk: the host calls it between renders. No plug-in may still hold one.
    void clear();

private:
    struct Chunk {
        std::string name;
        int size;
        // Aligned to a cache line (and so to any scalar), freed with the matching delete.
        struct AlignedDelete {
            void operator()(unsigned char *p) const { ::operator delete[](p, std::align_val_t(64)); }
        };
        std::unique_ptr<unsigned char[], AlignedDelete> memory;
    };
    const Chunk *chunk_of(LWMemChunk handle) const;  // caller holds mutex_

    mutable std::mutex mutex_;
    // Unique over every pool of the process and renewed by clear: what a thread's last
    // found chunk is checked against.
    std::atomic<unsigned long long> generation_;
    std::vector<std::unique_ptr<Chunk>> chunks_;  // creation order
    std::map<std::string, Chunk *, std::less<>> by_name_;  // found by C string, no copy
    std::map<const void *, size_t> by_address_;  // index into chunks_
};

// The service table; its functions use the current host's pool.
LWGlobalPool *render_memory_table();

}  // namespace refhost

#endif

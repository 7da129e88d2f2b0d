#include "refhost/render_memory.h"

#include <cstring>
#include <string_view>

#include "refhost/host.h"

namespace refhost {

namespace {

constexpr size_t kLine = 64;
std::atomic<unsigned long long> next_generation{1};

// The chunk this thread found last, and in which pool and generation of it.
struct LastFound {
    const RenderMemory *pool = nullptr;
    unsigned long long generation = 0;
    char name[256] = {};
    LWMemChunk chunk = nullptr;
};
thread_local LastFound t_last;

}  // namespace

RenderMemory::RenderMemory(Host &) : generation_(next_generation++) {}

LWMemChunk RenderMemory::find(const char *name) const {
    if (!name) return nullptr;
    LastFound &last = t_last;
    const unsigned long long generation = generation_.load(std::memory_order_acquire);
    if (last.pool == this && last.generation == generation && std::strcmp(last.name, name) == 0) return last.chunk;
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = by_name_.find(std::string_view(name));
    if (found == by_name_.end()) return nullptr;
    LWMemChunk chunk = found->second->memory.get();
    if (std::strlen(name) < sizeof last.name) {
        std::strcpy(last.name, name);
        last.pool = this;
        last.generation = generation;
        last.chunk = chunk;
    }
    return chunk;
}

LWMemChunk RenderMemory::create(const char *name, int size) {
    if (!name || size < 0) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = by_name_.find(std::string_view(name));
    if (found != by_name_.end()) return found->second->size >= size ? found->second->memory.get() : nullptr;

    auto chunk = std::make_unique<Chunk>();
    chunk->name = name;
    chunk->size = size;
    // At least one byte, so that even an empty chunk has an address of its own. Zeroed
    // byte by byte: value-initialising wider types may leave their padding untouched.
    // Chunks are whole cache lines of their own: each render thread writes its own flag
    // chunk for every ray, and two small chunks side by side would share a line.
    const size_t bytes = size > 0 ? static_cast<size_t>(size) : 1;
    const size_t padded = (bytes + kLine - 1) / kLine * kLine;
    chunk->memory.reset(new (std::align_val_t(kLine)) unsigned char[padded]);
    std::memset(chunk->memory.get(), 0, padded);
    Chunk *raw = chunk.get();
    by_address_[raw->memory.get()] = chunks_.size();
    chunks_.push_back(std::move(chunk));
    by_name_[raw->name] = raw;
    return raw->memory.get();
}

const RenderMemory::Chunk *RenderMemory::chunk_of(LWMemChunk handle) const {
    auto found = by_address_.find(handle);
    return found == by_address_.end() ? nullptr : chunks_[found->second].get();
}

LWMemChunk RenderMemory::first() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return chunks_.empty() ? nullptr : chunks_.front()->memory.get();
}

LWMemChunk RenderMemory::next(LWMemChunk handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = by_address_.find(handle);
    if (found == by_address_.end() || found->second + 1 >= chunks_.size()) return nullptr;
    return chunks_[found->second + 1]->memory.get();
}

const char *RenderMemory::id(LWMemChunk handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Chunk *chunk = chunk_of(handle);
    return chunk ? chunk->name.c_str() : nullptr;
}

int RenderMemory::size(LWMemChunk handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Chunk *chunk = chunk_of(handle);
    return chunk ? chunk->size : 0;
}

size_t RenderMemory::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return chunks_.size();
}

void RenderMemory::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    generation_.store(next_generation++, std::memory_order_release);
    by_name_.clear();
    by_address_.clear();
    chunks_.clear();
}

namespace {

// The current host's pool, remembered per thread: finding a component takes the host's lock.
RenderMemory *pool() {
    struct Remembered {
        const Host *host = nullptr;
        unsigned long long serial = 0;
        RenderMemory *pool = nullptr;
    };
    thread_local Remembered r;
    Host *host = Host::current();
    if (!host) return nullptr;
    if (r.host != host || r.serial != host->serial()) r = {host, host->serial(), &host->component<RenderMemory>()};
    return r.pool;
}

LWMemChunk pool_first() { RenderMemory *p = pool(); return p ? p->first() : nullptr; }
LWMemChunk pool_next(LWMemChunk c) { RenderMemory *p = pool(); return p ? p->next(c) : nullptr; }
const char *pool_id(LWMemChunk c) { RenderMemory *p = pool(); return p ? p->id(c) : nullptr; }
int pool_size(LWMemChunk c) { RenderMemory *p = pool(); return p ? p->size(c) : 0; }
LWMemChunk pool_find(const char *name) { RenderMemory *p = pool(); return p ? p->find(name) : nullptr; }
LWMemChunk pool_create(const char *name, int size) {
    RenderMemory *p = pool();
    return p ? p->create(name, size) : nullptr;
}

}  // namespace

LWGlobalPool *render_memory_table() {
    static LWGlobalPool table = {pool_first, pool_next, pool_id, pool_size, pool_find, pool_create};
    return &table;
}

}  // namespace refhost

#include "render/work_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace render {

PoolStats run_pool(const RayCaster &caster, long count, int threads, const std::function<void(long)> &work,
                   const std::function<void(double)> &progress, long chunk) {
    const auto start = std::chrono::steady_clock::now();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int wanted = threads > 0 ? threads : static_cast<int>(cores);
    std::atomic<long> next{0}, done{0};
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    PoolStats stats;

    auto worker = [&]() {
        RayCaster::Scope scope(caster);
        const RenderCounters before = RayCaster::thread_counters();
        for (long first = next.fetch_add(chunk); first < count; first = next.fetch_add(chunk)) {
            const long last = std::min(count, first + chunk);
            for (long i = first; i < last; ++i) work(i);
            done += last - first;
        }
        const RenderCounters after = RayCaster::thread_counters();
        std::lock_guard<std::mutex> lock(mutex);
        stats.spots_shaded += after.spots_shaded - before.spots_shaded;
        stats.plugin_rays += after.plugin_rays - before.plugin_rays;
        if (--running == 0) finished.notify_all();
    };

    // As many workers as asked for and the system gives; with none, this thread works.
    std::vector<std::thread> pool;
    for (int i = 0; i < wanted; ++i) {
        std::lock_guard<std::mutex> lock(mutex);
        ++running;
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error &) {
            --running;
            break;
        }
    }
    stats.started_threads = static_cast<int>(pool.size());
    if (pool.empty()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        worker();
        stats.started_threads = 1;
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(200), [&] { return running == 0; })) {
            if (!progress || count == 0) continue;
            const double share = static_cast<double>(done.load()) / static_cast<double>(count);
            lock.unlock();
            progress(share);
            lock.lock();
        }
    }
    for (std::thread &t : pool) t.join();
    if (progress) progress(1.0);
    stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return stats;
}

}  // namespace render

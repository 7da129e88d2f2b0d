// Counts calls of the global allocation functions, which the benchmark programs replace.
// Every allocation adds to a process-wide count; a thread that has armed its probe also
// counts its own.
#ifndef ORMEL_BENCH_ALLOC_COUNTER_H
#define ORMEL_BENCH_ALLOC_COUNTER_H

namespace bench {

long process_allocations();
// This thread's count, and whether its allocations are counted now.
long thread_allocations();
void set_thread_counting(bool on);
bool thread_counting();

}  // namespace bench

#endif

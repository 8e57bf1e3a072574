// allocation_count.h -- counts every operator new of the process, for the benchmarks that
// report allocations per tick or per frame. Include it in exactly one file of a benchmark:
// it replaces the global operator new and delete.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace bench_support {

inline std::atomic<long> g_allocations{0};

}  // namespace bench_support

// The replacement pair allocates with malloc and frees with free; gcc cannot see that the
// two belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  ++bench_support::g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Replaces the global operator new and delete of the test program to count the blocks that
// are alive: a window or poller that leaks an object per cycle shows as a count that grows.
// The array forms of the standard library end in these; over-aligned blocks are neither
// counted nor freed here.
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/reliability/process_figures.h"

namespace {
std::atomic<int64_t> liveBlocks{0};
}

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    void* block = std::malloc(size ? size : 1);
    if (block)
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void operator delete(void* block) noexcept {
    if (!block)
        return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    operator delete(block);
}

namespace reliability {
int64_t LiveAllocations() {
    return liveBlocks.load(std::memory_order_relaxed);
}
}  // namespace reliability

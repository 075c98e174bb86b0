#include "sys/memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace folio::sys {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kSmallPage = 4096;

std::atomic<bool> hugePages{false};

// Large buffers are always mapped, with or without huge pages, so that freeing
// one never depends on the setting.
bool Mapped(size_t bytes) {
    return kMapLargeBuffers && bytes >= kLargeBufferBytes;
}

size_t RoundUp(size_t bytes, size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace

void UseHugePageBuffers(bool use) {
    hugePages.store(use, std::memory_order_relaxed);
}

void* AllocateBuffer(size_t bytes) {
    if (!Mapped(bytes)) {
        void* p = std::malloc(bytes == 0 ? 1 : bytes);
        if (p == nullptr) {
            throw std::bad_alloc();
        }
        return p;
    }
    if (bytes > static_cast<size_t>(-1) - 2 * kHugePage) {
        throw std::bad_alloc();
    }
    const size_t length = RoundUp(bytes, kSmallPage);
    if (!hugePages.load(std::memory_order_relaxed)) {
        void* p =
            ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            throw std::bad_alloc();
        }
        return p;
    }
    // Map a huge page more than needed and keep a part that starts on a huge-page
    // boundary, so every whole huge page inside the buffer can be one; the tail
    // stays in small pages, so nothing beyond the buffer is ever touched.
    const size_t mapped = length + kHugePage;
    void* base =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<uintptr_t>(base);
    const uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start) {
        ::munmap(base, aligned - start);
    }
    if (const size_t tail = start + mapped - (aligned + length); tail > 0) {
        ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    }
    // Only advice: where huge pages are off, plain pages serve.
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void MapLargeAllocations() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

void* AllocateWriteBuffer(size_t bytes) {
    const size_t align = bytes >= kHugePage / 2 ? kHugePage : alignof(std::max_align_t);
    const size_t rounded = RoundUp(bytes == 0 ? 1 : bytes, align);
    void* block = std::aligned_alloc(align, rounded);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    if (align == kHugePage) {
        ::madvise(block, rounded, MADV_HUGEPAGE);
    }
    return block;
}

void FreeWriteBuffer(void* buffer) noexcept {
    std::free(buffer);
}

void FreeBuffer(void* buffer, size_t bytes) noexcept {
    if (buffer == nullptr) {
        return;
    }
    if (!Mapped(bytes)) {
        std::free(buffer);
        return;
    }
    ::munmap(buffer, RoundUp(bytes, kSmallPage));
}

}  // namespace folio::sys

#pragma once

// Memory for large pixel buffers (decoded pages, rendered images). A process that
// asks for it gets them mapped so that the kernel can back them with huge pages: a
// fresh 25 MB page then costs a dozen page faults instead of six thousand, which on
// a virtual machine is much of the time a one-off render takes. Long-running
// processes leave it off: huge pages raise the resident size the viewer keeps
// within its budget.

#include <cstddef>
#include <new>

namespace folio::sys {

#if defined(__SANITIZE_ADDRESS__)
#define FOLIO_PLAIN_BUFFERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define FOLIO_PLAIN_BUFFERS 1
#endif
#endif

// Under the address sanitizer every buffer comes from malloc, so that it still
// catches a read or write past the end of a page.
#ifdef FOLIO_PLAIN_BUFFERS
inline constexpr bool kMapLargeBuffers = false;
#else
inline constexpr bool kMapLargeBuffers = true;
#endif

// Buffers from this size up get their own mapping, returned to the system when
// freed; smaller ones come from malloc.
inline constexpr size_t kLargeBufferBytes = size_t{4} << 20;

// Whether buffers of kLargeBufferBytes and more made from now on may be backed by
// huge pages (off by default).
void UseHugePageBuffers(bool use);

// Raises std::bad_alloc when there is no memory to be had.
void* AllocateBuffer(size_t bytes);
// `bytes` as given to AllocateBuffer.
void FreeBuffer(void* buffer, size_t bytes) noexcept;

// Has every allocation of a megabyte and more get a mapping of its own, returned
// to the system when freed: glibc's sliding threshold would move them into the
// heap, which keeps what it frees, and a process whose large buffers come and go
// would grow and grow.
void MapLargeAllocations();

// A block for a buffer written again and again (output gathered before it goes to
// a file), whatever UseHugePageBuffers says: from half a huge page up it is aligned
// to one and marked for huge pages, so that a single page fault makes it ready
// instead of hundreds. Raises std::bad_alloc; FreeWriteBuffer frees it.
void* AllocateWriteBuffer(size_t bytes);
void FreeWriteBuffer(void* buffer) noexcept;

template <class T>
struct BufferAllocator {
    using value_type = T;

    BufferAllocator() = default;
    template <class U>
    BufferAllocator(const BufferAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > static_cast<size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(AllocateBuffer(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { FreeBuffer(p, n * sizeof(T)); }

    template <class U>
    bool operator==(const BufferAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace folio::sys

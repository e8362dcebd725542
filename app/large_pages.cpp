// Large blocks on large pages.
//
// A large Standard MIDI File becomes a song of some hundreds of megabytes of
// events. Each 4 KiB page of fresh memory costs the kernel a fault and a
// clearing, which on a virtual machine took as long as reading the whole
// file. Linux backs memory with 2 MiB pages where a program asks for them, a
// 512th of the faults for the same bytes. So the program's allocation
// function asks for them on every block of several megabytes (an input or
// output buffer, a track's events); smaller blocks are left as they are, as
// the advice would cost a system call each and gain nothing.
//
// Only the program does this: the library leaves its callers' memory alone.
// The replacement allocates with malloc and releases with free, as the
// standard library's own does. Under a sanitizer that has allocation
// functions of its own, those stay, with the checks they make.

#if defined(__linux__)

// The sanitizers that bring allocation functions of their own.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(hwaddress_sanitizer)
#define SEQCONV_KEEP_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SEQCONV_KEEP_ALLOCATOR 1
#endif

#if !defined(SEQCONV_KEEP_ALLOCATOR)

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t large_block = std::size_t{4} << 20;
constexpr std::uintptr_t page = 4096;

// Advises the whole pages inside [block, block + size). The kernel uses a
// large page for each 2 MiB-aligned stretch that lies inside; a machine that
// has them switched off ignores the advice.
void advise_large_pages(void* block, std::size_t size) {
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + size) & ~(page - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

void* allocate(std::size_t size) {
    if (size == 0) size = 1;
    for (;;) {
        if (void* block = std::malloc(size)) {
            if (size >= large_block) advise_large_pages(block, size);
            return block;
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

#endif
#endif

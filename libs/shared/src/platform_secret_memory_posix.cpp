#include "platform_secret_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

namespace zorva::plugin::platform {

unsigned char* allocateSecretPages(std::size_t size, std::size_t& capacity) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    capacity = (size / page + 1) * page;
    void* pages =
        mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    // Both are advice: without the right to lock (RLIMIT_MEMLOCK) the secret
    // still lives on pages of its own, which are wiped before they go.
    mlock(pages, capacity);
    madvise(pages, capacity, MADV_DONTDUMP);
    return static_cast<unsigned char*>(pages);
}

void freeSecretPages(unsigned char* pages, std::size_t capacity) noexcept {
    munmap(pages, capacity);
}

}  // namespace zorva::plugin::platform

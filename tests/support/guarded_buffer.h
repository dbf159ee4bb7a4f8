#pragma once
// A byte block placed flush against an inaccessible page, so that a kernel
// reading one byte past its end (or before its start) faults at once, in
// every build and under Wine, not only under AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace testing_support {

class GuardedBuffer {
public:
    enum class Flush { End, Start };

    GuardedBuffer(size_t size, Flush flush) {
        const size_t page = PageSize();
        const size_t dataPages = (size + page - 1) / page;
        total_ = (dataPages + 2) * page;
#if defined(_WIN32)
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, total_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ == nullptr) std::abort();
        DWORD old = 0;
        if (!VirtualProtect(base_, page, PAGE_NOACCESS, &old) ||
            !VirtualProtect(base_ + total_ - page, page, PAGE_NOACCESS, &old)) {
            std::abort();
        }
#else
        void* p = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) std::abort();
        base_ = static_cast<uint8_t*>(p);
        if (mprotect(base_, page, PROT_NONE) != 0 || mprotect(base_ + total_ - page, page, PROT_NONE) != 0) {
            std::abort();
        }
#endif
        data_ = flush == Flush::Start ? base_ + page : base_ + page + dataPages * page - size;
    }

    ~GuardedBuffer() {
#if defined(_WIN32)
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, total_);
#endif
    }

    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() const { return data_; }

private:
    static size_t PageSize() {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    }

    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t total_ = 0;
};

}  // namespace testing_support

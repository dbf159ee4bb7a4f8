#pragma once
// Shared pieces of the engine tests: a replayable seed, byte blocks flush
// against an inaccessible page, and the kernel tables side by side.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "engine/engine_dsp.h"

namespace engine_test {

// One random seed per run, printed with every failure; set
// ORV_TEST_SEED=<n> to replay a failing run.
inline uint32_t TestSeed() {
    static const uint32_t seed = [] {
        if (const char* text = std::getenv("ORV_TEST_SEED")) {
            return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
        }
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(std::random_device{}() ^ static_cast<uint32_t>(now));
    }();
    return seed;
}

inline std::string SeedNote() {
    const std::string s = std::to_string(TestSeed());
    return "seed " + s + " (replay with ORV_TEST_SEED=" + s + ")";
}

// A byte block placed flush against an inaccessible page at its end or its
// start, so a kernel reading one byte outside it faults at once in every
// build and under Wine.
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

struct Variant {
    std::string name;
    engine::EngineDsp dsp;
};

// The scalar table first, then every SIMD table this build and CPU offer.
inline std::vector<Variant> Variants() {
    std::vector<Variant> variants;
    engine::EngineDsp dsp{};
    engine::engine_dsp_init(dsp, platform::ScalarOnly());
    variants.push_back({"c", dsp});
#if defined(ORV_SIMD)
    if (platform::DetectCpu().sse2) {
        platform::CpuFlags sse2;
        sse2.sse2 = true;
        engine::engine_dsp_init(dsp, sse2);
        variants.push_back({"sse2", dsp});
    }
    if (platform::DetectCpu().avx2) {
        engine::engine_dsp_init(dsp, platform::DetectCpu());
        variants.push_back({"avx2", dsp});
    }
#endif
    return variants;
}

}  // namespace engine_test

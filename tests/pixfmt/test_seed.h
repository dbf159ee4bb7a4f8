#pragma once
// One random seed per test run, printed with every failure; set
// ORV_TEST_SEED=<n> to replay a failing run.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

namespace pixfmt_test {

inline uint32_t TestSeed() {
    static const uint32_t seed = [] {
        if (const char* text = std::getenv("ORV_TEST_SEED")) return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(std::random_device{}() ^ static_cast<uint32_t>(now));
    }();
    return seed;
}

inline std::string SeedNote() {
    const std::string s = std::to_string(TestSeed());
    return "seed " + s + " (replay with ORV_TEST_SEED=" + s + ")";
}

}  // namespace pixfmt_test

// Unbuffered output, so that a run that dies still shows how far it got
// (under Wine stdout to a file is otherwise fully buffered).
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// gtest main for tests that load the built plug-in: argv[1] is its path.
#include <gtest/gtest.h>

#include "plugin_loader.h"

namespace testing_support {
std::string& PluginPath() {
    static std::string path;
    return path;
}
}  // namespace testing_support

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) testing_support::PluginPath() = argv[1];
    return RUN_ALL_TESTS();
}

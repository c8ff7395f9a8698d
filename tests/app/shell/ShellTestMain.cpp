#include "DummyNetwork.h"

#include <gtest/gtest.h>

#include <cstdio>

// The address tests need interfaces of their own, so the process leaves the
// machine's network before its first thread starts; without it they skip.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterDummyNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

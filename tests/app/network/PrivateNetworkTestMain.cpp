#include "PrivateNetwork.h"

#include <gtest/gtest.h>

#include <cstdio>

// The tests search every interface they find or start programs that do: the
// process leaves the machine's network before its first thread starts, and
// the tests that need it skip when it cannot.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterPrivateNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

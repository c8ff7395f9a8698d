#include "PrivateNetwork.h"

#include <gtest/gtest.h>

#include <cstdio>

// The doctor searches every interface it finds: the process leaves the
// machine's network before anything runs, and the tests skip when it cannot.
int main(int argc, char** argv) {
    std::string why;
    if (!EnterPrivateNetwork(&why))
        std::fprintf(stderr, "no private network: %s\n", why.c_str());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

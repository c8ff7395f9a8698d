// Loading the library at run time, twice, resolving every export, and
// unloading it with handles still alive.
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

constexpr const char* kExports[] = {
#define DMP_BOUND_EXPORT(name) #name,
#define DMP_OTHER_EXPORT(name) #name,
#include "dmp_vellumo_exports.def"
#undef DMP_BOUND_EXPORT
#undef DMP_OTHER_EXPORT
};

TEST(LibraryLifetime, LoadsTwiceResolvesEveryExportAndUnloadsWithLiveHandles) {
    for (int round = 0; round < 2; ++round) {
        void* library = dlopen(VELLUMO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        for (const char* name : kExports)
            EXPECT_NE(dlsym(library, name), nullptr) << name;
        // The aliases are the same functions.
        EXPECT_EQ(dlsym(library, "Create"), dlsym(library, "CreateW"));
        EXPECT_EQ(dlsym(library, "PlayFile"), dlsym(library, "PlayFileW"));
        EXPECT_EQ(dlsym(library, "CreateWithAsyncIo"), dlsym(library, "CreateWithAsyncIoW"));

        auto create = reinterpret_cast<decltype(&CreateA)>(dlsym(library, "CreateA"));
        auto destroy = reinterpret_cast<decltype(&Destroy)>(dlsym(library, "Destroy"));
        auto install =
            reinterpret_cast<decltype(&InstallCBTHook)>(dlsym(library, "InstallCBTHook"));
        DmpVellumoInfo* kept = create("127.0.0.1", 7171);
        destroy(create("127.0.0.1", 7171));
        ASSERT_NE(kept, nullptr);
        EXPECT_TRUE(install(library));
        // The kept handle and the hook are released by the unload.
        EXPECT_EQ(dlclose(library), 0);
    }
}

} // namespace

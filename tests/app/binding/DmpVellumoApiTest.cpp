#include "DmpVellumoApi.h"
#include "ExecutablePath.h"
#include "TempDir.h"
#include "update/FileUtil.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <vector>

namespace {

// Records every text the binding reports.
struct Reports {
    std::vector<std::wstring> texts;
    DmpVellumoApiReporter reporter() {
        return [this](const std::wstring& text) { texts.push_back(text); };
    }
};

std::string executableDirectory() {
    return std::filesystem::path(kvu::ExecutablePath()).parent_path().string() + "/";
}

} // namespace

// The path and the loader's reason both reach the message.
TEST(DmpVellumoApi, MissingOrBrokenLibraryReportsThePathAndTheError) {
    TempDir dir;
    const std::string path = dir.file("libDmpVellumo.so");
    Reports reports;
    DmpVellumoApi api = BindDmpVellumoApi(path, reports.reporter());
    EXPECT_EQ(api.module, nullptr);
    EXPECT_EQ(api.CreateWithAsyncIo, nullptr);
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_EQ(
        reports.texts[0].rfind(L"Cannot find " + std::wstring(path.begin(), path.end()) + L"(", 0),
        0u)
        << std::string(reports.texts[0].begin(), reports.texts[0].end());
    EXPECT_NE(reports.texts[0].find(L"No such file"), std::wstring::npos);
    EXPECT_EQ(reports.texts[0].back(), L')');

    WriteTestFile(path, "this is not a shared object");
    reports.texts.clear();
    api = BindDmpVellumoApi(path, reports.reporter());
    EXPECT_EQ(api.module, nullptr);
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_EQ(reports.texts[0].rfind(L"Cannot find " + std::wstring(path.begin(), path.end()), 0),
              0u);
}

// The one missing export is reported once; everything else works.
TEST(DmpVellumoApi, LibraryWithoutGetBoxVersionBindsTheRest) {
    Reports reports;
    DmpVellumoApi api =
        BindDmpVellumoApi(PARTIAL_LIBRARY_DIR "/libDmpVellumo.so", reports.reporter());
    ASSERT_NE(api.module, nullptr);
    EXPECT_EQ(reports.texts, std::vector<std::wstring>{L"Cannot find entry point!"});
    EXPECT_EQ(api.GetBoxVersion, nullptr);
    ASSERT_NE(api.CreateWithAsyncIo, nullptr);
    ASSERT_NE(api.StartUpdateInfo, nullptr);
    DmpVellumoInfo* handle = api.CreateWithAsyncIo(L"127.0.0.1", 7171, nullptr);
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(DmpCallOr(api.SetVolume, false, handle, 37));
    EXPECT_EQ(DmpCallOr(api.GetVolume, 0, handle), 37);
    EXPECT_FALSE(DmpCallOr(api.GetBoxVersion, false, handle, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(api.StartUpdateInfo(handle), handle);
    api.Destroy(handle);
    UnbindDmpVellumoApi(api);
    EXPECT_EQ(api.module, nullptr);
    EXPECT_EQ(api.GetVolume, nullptr);
}

TEST(DmpVellumoApi, LoadedCompanionModuleDecidesTheDirectory) {
    EXPECT_EQ(DmpVellumoLibraryPath(), executableDirectory() + "libDmpVellumo.so");
    void* companion = ::dlopen(PARTIAL_LIBRARY_DIR "/libZentharTavoliAPI.so", RTLD_NOW);
    ASSERT_NE(companion, nullptr) << ::dlerror();
    EXPECT_EQ(DmpVellumoLibraryPath(), PARTIAL_LIBRARY_DIR "/libDmpVellumo.so");
    ::dlclose(companion);
}

#ifdef REAL_LIBRARY_PATH
TEST(DmpVellumoApi, RealLibraryBindsCompletely) {
    Reports reports;
    DmpVellumoApi api = BindDmpVellumoApi(REAL_LIBRARY_PATH, reports.reporter());
    ASSERT_NE(api.module, nullptr);
    EXPECT_TRUE(reports.texts.empty());
    for (std::string_view name : kDmpVellumoApiNames)
        EXPECT_NE(::dlsym(api.module, std::string(name).c_str()), nullptr) << name;
    // A synchronous handle never connects: create, query and destroy it.
    DmpVellumoInfo* handle = api.CreateWithAsyncIo(L"127.0.0.1", 7171, nullptr);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(api.GetPlayingType(handle), 0u);
    api.Destroy(handle);
    UnbindDmpVellumoApi(api);
}
#endif

// The process-wide table binds what lies beside the executable, reports at
// most once and is the same table on every call.
TEST(DmpVellumoApi, ProcessTableBindsOnceFromTheExecutableDirectory) {
    Reports reports;
    SetDmpVellumoApiReporter(reports.reporter());
    const DmpVellumoApi& first = GetDmpVellumoApi();
    const DmpVellumoApi& second = GetDmpVellumoApi();
    SetDmpVellumoApiReporter({});
    EXPECT_EQ(&first, &second);
    const std::string beside = executableDirectory() + "libDmpVellumo.so";
    if (FileExists(beside)) {
        EXPECT_NE(first.module, nullptr);
        EXPECT_NE(first.GetBoxVersion, nullptr);
        EXPECT_TRUE(reports.texts.empty());
    } else {
        EXPECT_EQ(first.module, nullptr);
        EXPECT_EQ(first.Destroy, nullptr);
        ASSERT_EQ(reports.texts.size(), 1u);
        EXPECT_EQ(reports.texts[0].rfind(
                      L"Cannot find " + std::wstring(beside.begin(), beside.end()) + L"(", 0),
                  0u);
    }
}

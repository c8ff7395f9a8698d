// The C interface without a Box: null handles, the registry, classification
// and the hook state.
#include "TestFiles.h"
#include "dmp_vellumo.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(ExportedInterface, NullHandleGivesEmptyResults) {
    DmpVellumoInfo* none = nullptr;
    EXPECT_FALSE(PlayFile(none, L"/x.mp3"));
    EXPECT_FALSE(PlayFileA(none, "/x.mp3"));
    EXPECT_FALSE(PlayNext(none, 7));
    EXPECT_FALSE(PlayPrev(none, 7));
    EXPECT_FALSE(Pause(none, 7));
    EXPECT_FALSE(Resume(none, 7));
    EXPECT_FALSE(SetRepeat(none, 7, 1));
    EXPECT_FALSE(SeekFileByTime(none, 5));
    EXPECT_FALSE(SetVolume(none, 5));
    EXPECT_EQ(GetPlayingType(none), 0u);
    EXPECT_EQ(GetFilesType(none, L"/x.mp3"), 0u);
    EXPECT_EQ(GetTotalDuration(none), 0);
    EXPECT_EQ(GetCurrentDuration(none), 0);
    EXPECT_EQ(GetVolume(none), 0);
    EXPECT_EQ(GetMaxVolume(none), 0);
    EXPECT_EQ(GetVideoCounts(none), 0);
    EXPECT_EQ(GetImageCounts(none), 0);
    EXPECT_EQ(GetAudioCounts(none), 0);
    // The index queries give 0, not -1, for a null handle.
    EXPECT_EQ(GetCurPlayingVideoIndex(none), 0);
    EXPECT_EQ(GetCurPlayingImageIndex(none), 0);
    EXPECT_EQ(GetCurPlayingAudioIndex(none), 0);
    EXPECT_EQ(GetCurPlayingVideoName(none), nullptr);
    EXPECT_EQ(GetCurPlayingImageName(none), nullptr);
    EXPECT_EQ(GetCurPlayingAudioName(none), nullptr);
    EXPECT_FALSE(IsVideoPaused(none));
    EXPECT_FALSE(IsImagePaused(none));
    EXPECT_FALSE(IsAudioPaused(none));
    EXPECT_EQ(GetVideoRepeatStatus(none), 0);
    EXPECT_EQ(GetImageRepeatStatus(none), 0);
    EXPECT_EQ(GetAudioRepeatStatus(none), 0);
    DmpMediaList* list = reinterpret_cast<DmpMediaList*>(0x1);
    EXPECT_FALSE(GetFileList(none, 7, &list));
    EXPECT_EQ(list, reinterpret_cast<DmpMediaList*>(0x1));
    EXPECT_FALSE(MergeFileList(none, list, 7, -1));
    ClearPlayList(none, 7);
    Close(none, 7);
    EXPECT_FALSE(Upgrade(none, "http://127.0.0.1/"));
    EXPECT_FALSE(SwitchToWiDi(none));
    EXPECT_FALSE(SwitchToWfdPIN(none));
    EXPECT_FALSE(SwitchToWfdPBC(none));
    int32_t a = 0, b = 0, c = 0, d = 0;
    EXPECT_FALSE(GetBoxVersion(none, &a, &b, &c, &d));
    EXPECT_EQ(GetCurAdapterMacAddr(none), 0u);
    EXPECT_EQ(StartUpdateInfo(none), nullptr);
    EXPECT_EQ(StopUpdateInfo(none), nullptr);
    Destroy(none);
}

TEST(ExportedInterface, HeaderVersionIsTheProjectVersion) {
    EXPECT_EQ(DMP_VELLUMO_VERSION,
              (PROJECT_VERSION_MAJOR << 16) | (PROJECT_VERSION_MINOR << 8) | PROJECT_VERSION_PATCH);
}

TEST(ExportedInterface, DestroyIgnoresHandlesItDoesNotKnow) {
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 7171);
    ASSERT_NE(handle, nullptr);
    Destroy(handle);
    // Already destroyed: must be ignored, not freed twice.
    Destroy(handle);
    Destroy(reinterpret_cast<DmpVellumoInfo*>(&handle));
}

TEST(ExportedInterface, CloseOnAnIdleHandleDestroysIt) {
    DmpVellumoInfo* handle = Create(L"127.0.0.1", 7171);
    Close(handle, DMP_TYPE_VIDEO);
    // Destroyed by Close: Destroy now finds nothing to do.
    Destroy(handle);
}

TEST(ExportedInterface, InactiveTypesReportMinusOneIndex) {
    DmpVellumoInfo* handle = CreateWithAsyncIoA("127.0.0.1", 7171, nullptr);
    EXPECT_EQ(GetCurPlayingAudioIndex(handle), -1);
    EXPECT_EQ(GetPlayingType(handle), 0u);
    Destroy(handle);
}

TEST(ExportedInterface, SingleMediaFileIsClassifiedThroughATemporaryList) {
    TempDir dir;
    const auto photo = MakePatternFile(dir, "holiday.JPG", 10);
    setenv("TMPDIR", dir.path().c_str(), 1);
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 7171);
    EXPECT_EQ(GetFilesType(handle, photo.wstring().c_str()), DMP_TYPE_IMAGE);
    DmpMediaList* list = nullptr;
    EXPECT_TRUE(GetFileList(handle, DMP_TYPE_IMAGE | DMP_TYPE_AUDIO, &list));
    EXPECT_NE(list, nullptr);
    EXPECT_FALSE(GetFileList(handle, DMP_TYPE_VIDEO, &list));
    // Only the photo is left in the directory: the temporary list is gone.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u);
    // Unclassifiable paths leave the lists as they were; a play list that
    // cannot be read empties them.
    EXPECT_EQ(GetFilesType(handle, L"/no/extension"), 0u);
    EXPECT_TRUE(GetFileList(handle, DMP_TYPE_IMAGE, &list));
    EXPECT_EQ(GetFilesType(handle, L"/no/such/list.m3u"), 0u);
    EXPECT_FALSE(GetFileList(handle, DMP_TYPE_IMAGE, &list));
    unsetenv("TMPDIR");
    Destroy(handle);
}

TEST(ExportedInterface, ClearedListIsNotReclassifiedForTheSamePath) {
    TempDir dir;
    const auto movie = MakePatternFile(dir, "movie.mkv", 10);
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 1);
    ASSERT_EQ(GetFilesType(handle, movie.wstring().c_str()), DMP_TYPE_VIDEO);
    ClearPlayList(handle, DMP_TYPE_VIDEO);
    // The remembered path is unchanged, so the empty lists stand.
    EXPECT_FALSE(PlayFile(handle, movie.wstring().c_str()));
    EXPECT_EQ(GetPlayingType(handle), 0u);
    Destroy(handle);
}

TEST(ExportedInterface, HookInstallsOnceAndUninstallsAlways) {
    EXPECT_TRUE(UninstallCBTHook());
    EXPECT_FALSE(InstallCBTHook(nullptr));
    int module = 0;
    EXPECT_TRUE(InstallCBTHook(&module));
    EXPECT_TRUE(InstallCBTHook(&module));
    EXPECT_TRUE(UninstallCBTHook());
}

} // namespace

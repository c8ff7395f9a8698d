// A stand-in device library for the binding tests: it exports the bound names
// (without GetBoxVersion when DMP_FIXTURE_WITHOUT_BOX_VERSION is set) and
// keeps just enough state to show that calls through the table arrive.
#include "dmp_vellumo.h"

struct DmpVellumoInfo {
    int32_t volume = 0;
    uint32_t playing = 0;
};

extern "C" {

DmpVellumoInfo* Create(const wchar_t*, int32_t) {
    return new DmpVellumoInfo;
}
DmpVellumoInfo* CreateWithAsyncIo(const wchar_t*, int32_t, DmpHostWindow*) {
    return new DmpVellumoInfo;
}
void Destroy(DmpVellumoInfo* handle) {
    delete handle;
}
bool PlayFile(DmpVellumoInfo* handle, const wchar_t*) {
    handle->playing = DMP_TYPE_VIDEO;
    return true;
}
bool PlayNext(DmpVellumoInfo*, uint32_t) {
    return true;
}
bool PlayPrev(DmpVellumoInfo*, uint32_t) {
    return true;
}
bool Pause(DmpVellumoInfo*, uint32_t) {
    return true;
}
bool Resume(DmpVellumoInfo*, uint32_t) {
    return true;
}
bool SeekFileByTime(DmpVellumoInfo*, uint32_t) {
    return true;
}
bool SetVolume(DmpVellumoInfo* handle, int32_t volume) {
    handle->volume = volume;
    return true;
}
bool SetRepeat(DmpVellumoInfo*, uint32_t, int32_t) {
    return true;
}
uint32_t GetPlayingType(DmpVellumoInfo* handle) {
    return handle->playing;
}
uint32_t GetFilesType(DmpVellumoInfo*, const wchar_t*) {
    return 0;
}
int32_t GetTotalDuration(DmpVellumoInfo*) {
    return 0;
}
int32_t GetCurrentDuration(DmpVellumoInfo*) {
    return 0;
}
int32_t GetVolume(DmpVellumoInfo* handle) {
    return handle->volume;
}
int32_t GetMaxVolume(DmpVellumoInfo*) {
    return 100;
}
int32_t GetVideoCounts(DmpVellumoInfo*) {
    return 0;
}
int32_t GetImageCounts(DmpVellumoInfo*) {
    return 0;
}
int32_t GetAudioCounts(DmpVellumoInfo*) {
    return 0;
}
int32_t GetCurPlayingVideoIndex(DmpVellumoInfo*) {
    return -1;
}
int32_t GetCurPlayingImageIndex(DmpVellumoInfo*) {
    return -1;
}
int32_t GetCurPlayingAudioIndex(DmpVellumoInfo*) {
    return -1;
}
const wchar_t* GetCurPlayingVideoName(DmpVellumoInfo*) {
    return nullptr;
}
const wchar_t* GetCurPlayingImageName(DmpVellumoInfo*) {
    return nullptr;
}
const wchar_t* GetCurPlayingAudioName(DmpVellumoInfo*) {
    return nullptr;
}
bool IsVideoPaused(DmpVellumoInfo*) {
    return false;
}
bool IsImagePaused(DmpVellumoInfo*) {
    return false;
}
bool IsAudioPaused(DmpVellumoInfo*) {
    return false;
}
bool GetFileList(DmpVellumoInfo*, uint32_t, DmpMediaList**) {
    return false;
}
bool MergeFileList(DmpVellumoInfo*, const DmpMediaList*, uint32_t, int32_t) {
    return false;
}
void ClearPlayList(DmpVellumoInfo*, uint32_t) {}
void Close(DmpVellumoInfo*, uint32_t) {}
bool Upgrade(DmpVellumoInfo*, const char*) {
    return false;
}
bool InstallCBTHook(void*) {
    return true;
}
bool UninstallCBTHook(void) {
    return true;
}
bool SwitchToWiDi(DmpVellumoInfo*) {
    return false;
}
bool SwitchToWfdPIN(DmpVellumoInfo*) {
    return false;
}
bool SwitchToWfdPBC(DmpVellumoInfo*) {
    return false;
}
#ifndef DMP_FIXTURE_WITHOUT_BOX_VERSION
bool GetBoxVersion(DmpVellumoInfo*, int32_t*, int32_t*, int32_t*, int32_t*) {
    return false;
}
#endif
uint64_t GetCurAdapterMacAddr(DmpVellumoInfo*) {
    return 0;
}
int32_t GetVideoRepeatStatus(DmpVellumoInfo*) {
    return 0;
}
int32_t GetAudioRepeatStatus(DmpVellumoInfo*) {
    return 0;
}
int32_t GetImageRepeatStatus(DmpVellumoInfo*) {
    return 0;
}
DmpVellumoInfo* StopUpdateInfo(DmpVellumoInfo* handle) {
    return handle;
}
DmpVellumoInfo* StartUpdateInfo(DmpVellumoInfo* handle) {
    return handle;
}

} // extern "C"

// The exported C interface: thin entry points over DmpVellumoInfo.
#include "CWiDiHook.h"
#include "DebugPrint.h"
#include "DmpVellumoInfo.h"
#include "Unicode.h"
#include "dmp_vellumo.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Every live handle. Created on first use; handles the caller never
// destroyed are destroyed when the library is unloaded.
class Registry {
public:
    ~Registry() {
        for (DmpVellumoInfo* handle : m_handles)
            delete handle;
    }

    DmpVellumoInfo* Add(std::unique_ptr<DmpVellumoInfo> handle) {
        std::lock_guard lock(m_mutex);
        m_handles.push_back(handle.get());
        return handle.release();
    }

    // Removes handle if it is registered; returns whether it was.
    bool Remove(DmpVellumoInfo* handle) {
        std::lock_guard lock(m_mutex);
        const auto found = std::find(m_handles.begin(), m_handles.end(), handle);
        if (found == m_handles.end())
            return false;
        m_handles.erase(found);
        return true;
    }

private:
    std::mutex m_mutex; // guards m_handles
    std::vector<DmpVellumoInfo*> m_handles;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

DmpVellumoInfo* create(const char* address, int32_t port, DmpHostWindow* window) {
    return registry().Add(std::make_unique<DmpVellumoInfo>(address ? address : "", port, window));
}

std::string narrow(const wchar_t* text) {
    return text ? kvu::ToUtf8(text) : std::string();
}

// No exception crosses the C interface: an operation that throws (memory
// exhausted, a thread that cannot start) returns its failure value.
template <typename Result, typename Call> Result guarded(Result failure, Call call) noexcept {
    try {
        return call();
    } catch (const std::exception& error) {
        DebugPrint("DmpVellumo: operation failed: %s\n", error.what());
    } catch (...) {
        DebugPrint("DmpVellumo: operation failed\n");
    }
    return failure;
}

template <typename Call> void guarded(Call call) noexcept {
    guarded(0, [&] {
        call();
        return 0;
    });
}

} // namespace

extern "C" {

// ---- create and destroy ------------------------------------------------------

DmpVellumoInfo* CreateA(const char* address, int32_t port) {
    return guarded(static_cast<DmpVellumoInfo*>(nullptr),
                   [&] { return create(address, port, nullptr); });
}

DmpVellumoInfo* CreateW(const wchar_t* address, int32_t port) {
    return guarded(static_cast<DmpVellumoInfo*>(nullptr),
                   [&] { return create(narrow(address).c_str(), port, nullptr); });
}

DmpVellumoInfo* Create(const wchar_t* address, int32_t port) __attribute__((alias("CreateW")));

DmpVellumoInfo* CreateWithAsyncIoA(const char* address, int32_t port, DmpHostWindow* window) {
    return guarded(static_cast<DmpVellumoInfo*>(nullptr),
                   [&] { return create(address, port, window); });
}

DmpVellumoInfo* CreateWithAsyncIoW(const wchar_t* address, int32_t port, DmpHostWindow* window) {
    return guarded(static_cast<DmpVellumoInfo*>(nullptr),
                   [&] { return create(narrow(address).c_str(), port, window); });
}

DmpVellumoInfo* CreateWithAsyncIo(const wchar_t* address, int32_t port, DmpHostWindow* window)
    __attribute__((alias("CreateWithAsyncIoW")));

void Destroy(DmpVellumoInfo* handle) {
    guarded([&] {
        if (registry().Remove(handle))
            delete handle;
    });
}

// ---- play and control ----------------------------------------------------------

bool PlayFileW(DmpVellumoInfo* handle, const wchar_t* path) {
    return guarded(false, [&] {
        if (!handle || !path || *path == L'\0')
            return false;
        return handle->PlayFile(path);
    });
}

bool PlayFile(DmpVellumoInfo* handle, const wchar_t* path) __attribute__((alias("PlayFileW")));

bool PlayFileA(DmpVellumoInfo* handle, const char* path) {
    return guarded(false, [&] {
        if (!handle || !path || *path == '\0')
            return false;
        return handle->PlayFile(kvu::FromUtf8(path));
    });
}

bool PlayNext(DmpVellumoInfo* handle, uint32_t mask) {
    return guarded(false, [&] { return handle && handle->PlayNext(mask); });
}

bool PlayPrev(DmpVellumoInfo* handle, uint32_t mask) {
    return guarded(false, [&] { return handle && handle->PlayPrev(mask); });
}

bool Pause(DmpVellumoInfo* handle, uint32_t mask) {
    return guarded(false, [&] { return handle && handle->Pause(mask); });
}

bool Resume(DmpVellumoInfo* handle, uint32_t mask) {
    return guarded(false, [&] { return handle && handle->Resume(mask); });
}

bool SetRepeat(DmpVellumoInfo* handle, uint32_t mask, int32_t repeat) {
    return guarded(false, [&] { return handle && handle->SetRepeat(mask, repeat); });
}

bool SeekFileByTime(DmpVellumoInfo* handle, uint32_t time) {
    return guarded(false, [&] { return handle && handle->SeekByTime(time); });
}

bool SetVolume(DmpVellumoInfo* handle, int32_t volume) {
    return guarded(false, [&] { return handle && handle->SetVolume(volume); });
}

// ---- status --------------------------------------------------------------------

uint32_t GetPlayingType(DmpVellumoInfo* handle) {
    return handle ? handle->ActiveMask() : 0;
}

uint32_t GetFilesType(DmpVellumoInfo* handle, const wchar_t* path) {
    return guarded(0u, [&] { return handle && path ? handle->GetFilesType(path) : 0; });
}

int32_t GetTotalDuration(DmpVellumoInfo* handle) {
    return handle ? handle->TotalDuration() : 0;
}

int32_t GetCurrentDuration(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentPosition() : 0;
}

int32_t GetVolume(DmpVellumoInfo* handle) {
    return handle ? handle->Volume() : 0;
}

int32_t GetMaxVolume(DmpVellumoInfo* handle) {
    return handle ? handle->MaxVolume() : 0;
}

int32_t GetVideoCounts(DmpVellumoInfo* handle) {
    return handle ? handle->PlayListCount(DMP_TYPE_VIDEO) : 0;
}

int32_t GetImageCounts(DmpVellumoInfo* handle) {
    return handle ? handle->PlayListCount(DMP_TYPE_IMAGE) : 0;
}

int32_t GetAudioCounts(DmpVellumoInfo* handle) {
    return handle ? handle->PlayListCount(DMP_TYPE_AUDIO) : 0;
}

// A null handle gives 0 here, not -1.
int32_t GetCurPlayingVideoIndex(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentIndex(DMP_TYPE_VIDEO) : 0;
}

int32_t GetCurPlayingImageIndex(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentIndex(DMP_TYPE_IMAGE) : 0;
}

int32_t GetCurPlayingAudioIndex(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentIndex(DMP_TYPE_AUDIO) : 0;
}

const wchar_t* GetCurPlayingVideoName(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentName(DMP_TYPE_VIDEO) : nullptr;
}

const wchar_t* GetCurPlayingImageName(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentName(DMP_TYPE_IMAGE) : nullptr;
}

const wchar_t* GetCurPlayingAudioName(DmpVellumoInfo* handle) {
    return handle ? handle->CurrentName(DMP_TYPE_AUDIO) : nullptr;
}

bool IsVideoPaused(DmpVellumoInfo* handle) {
    return handle && handle->IsPaused(DMP_TYPE_VIDEO);
}

bool IsImagePaused(DmpVellumoInfo* handle) {
    return handle && handle->IsPaused(DMP_TYPE_IMAGE);
}

bool IsAudioPaused(DmpVellumoInfo* handle) {
    return handle && handle->IsPaused(DMP_TYPE_AUDIO);
}

int32_t GetVideoRepeatStatus(DmpVellumoInfo* handle) {
    return handle ? handle->RepeatStatus(DMP_TYPE_VIDEO) : 0;
}

int32_t GetImageRepeatStatus(DmpVellumoInfo* handle) {
    return handle ? handle->RepeatStatus(DMP_TYPE_IMAGE) : 0;
}

int32_t GetAudioRepeatStatus(DmpVellumoInfo* handle) {
    return handle ? handle->RepeatStatus(DMP_TYPE_AUDIO) : 0;
}

// ---- play lists ----------------------------------------------------------------

bool GetFileList(DmpVellumoInfo* handle, uint32_t mask, DmpMediaList** list) {
    if (!handle || mask == 0 || !list)
        return false;
    *list = handle->GetFileList(mask);
    return *list != nullptr;
}

bool MergeFileList(DmpVellumoInfo* handle, const DmpMediaList* list, uint32_t mask,
                   int32_t position) {
    return guarded(false,
                   [&] { return handle && list && handle->MergeFileList(*list, mask, position); });
}

void ClearPlayList(DmpVellumoInfo* handle, uint32_t mask) {
    guarded([&] {
        if (handle)
            handle->ClearPlayList(mask);
    });
}

void Close(DmpVellumoInfo* handle, uint32_t mask) {
    guarded([&] {
        if (!handle)
            return;
        handle->CloseLinks(mask);
        if (handle->ActiveMask() == 0)
            Destroy(handle);
    });
}

// ---- device operations -----------------------------------------------------------

bool Upgrade(DmpVellumoInfo* handle, const char* url) {
    return guarded(false, [&] { return handle && handle->Upgrade(url); });
}

bool SwitchToWiDi(DmpVellumoInfo* handle) {
    return guarded(false, [&] { return handle && handle->SwitchDevice(DMP_TYPE_WIDI); });
}

bool SwitchToWfdPIN(DmpVellumoInfo* handle) {
    return guarded(false, [&] { return handle && handle->SwitchDevice(DMP_TYPE_WFD_PIN); });
}

bool SwitchToWfdPBC(DmpVellumoInfo* handle) {
    return guarded(false, [&] { return handle && handle->SwitchDevice(DMP_TYPE_WFD_PBC); });
}

// reserved is always 0: callers rely on the four-part signature.
bool GetBoxVersion(DmpVellumoInfo* handle, int32_t* major, int32_t* minor, int32_t* reserved,
                   int32_t* build) {
    return guarded(false, [&] {
        if (!handle || !major || !minor || !reserved || !build)
            return false;
        return handle->GetBoxVersion(*major, *minor, *reserved, *build);
    });
}

uint64_t GetCurAdapterMacAddr(DmpVellumoInfo* handle) {
    return guarded(uint64_t{0}, [&] { return handle ? handle->GetCurAdapterMacAddr() : 0; });
}

// ---- WiDi window hook and update throttle ----------------------------------------

bool InstallCBTHook(void* module) {
    return guarded(false, [&] {
        CWiDiHook::Instance().Uninstall();
        return CWiDiHook::Instance().Install(module);
    });
}

bool UninstallCBTHook(void) {
    CWiDiHook::Instance().Uninstall();
    return true;
}

DmpVellumoInfo* StartUpdateInfo(DmpVellumoInfo* handle) {
    if (handle)
        handle->StartUpdates();
    return handle;
}

DmpVellumoInfo* StopUpdateInfo(DmpVellumoInfo* handle) {
    if (handle)
        handle->StopUpdates();
    return handle;
}

} // extern "C"

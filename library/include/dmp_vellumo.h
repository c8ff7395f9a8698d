/*
 * libDmpVellumo: plays a PC's files on a network media-player box (the Box).
 *
 * One handle stands for one Box (IPv4 address and TCP port) and drives either
 * playback (video alone, or image and audio together) or one device operation
 * at a time. Each media type plays over its own box link, a pair of TCP
 * connections to the Box.
 *
 * Modes, fixed at creation:
 * - synchronous (Create*, or CreateWithAsyncIo* with a null window): the
 *   connections are opened on the calling thread and an operation completes
 *   before it returns;
 * - asynchronous (CreateWithAsyncIo* with a window): connections open on a
 *   library worker thread; progress, status and errors arrive as the
 *   DMP_WM_* notifications through the window's post function.
 *
 * Threads: call every entry point from one thread (the application's user
 * interface thread). Notifications are posted from library threads, until
 * the handle's Destroy (or the Close that destroys it) returns: never after.
 *
 * Blocking: every entry point returns at once except these, which block the
 * calling thread:
 * - PlayFile and GetFilesType read the play list, and any play list named in
 *   it, on the calling thread; one at a web address is downloaded there (up
 *   to 15 s to connect, TLS handshake included, and a transfer that receives
 *   under 1 KiB in 30 s fails). A synchronous handle's PlayFile also connects (the system's TCP
 *   connect time-out) and sends the names and the play command.
 * - The playback controls (PlayNext, Pause, SeekFileByTime, SetVolume, ...),
 *   MergeFileList and the device operations send on the calling thread: they
 *   wait while the Box takes no more bytes.
 * - GetBoxVersion and GetCurAdapterMacAddr wait up to about 3 s for the
 *   answer.
 * - Destroy and Close stop the links' threads and return within about 2 s
 *   whatever the Box (or a web server) does.
 *
 * Memory: the library owns everything it returns. Strings and lists stay
 * valid for the time each function states, and never after the handle's
 * Destroy. No exception leaves the library; a failure gives the function's
 * empty result.
 *
 * Strings: wide strings are UTF-32 (wchar_t); narrow strings are UTF-8.
 * Every entry point given a null handle returns its empty result (false, 0,
 * null or nothing), except GetCurPlaying*Index, which return 0 then.
 */
#ifndef DMP_VELLUMO_H
#define DMP_VELLUMO_H

#include <stdbool.h>
#include <stdint.h>
#include <wchar.h>

#if defined(DMP_VELLUMO_BUILD)
#define DMP_EXPORT __attribute__((visibility("default")))
#else
#define DMP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this interface: major, minor and patch in one number,
 * 0x00MMmmpp. */
#define DMP_VELLUMO_VERSION_MAJOR 0
#define DMP_VELLUMO_VERSION_MINOR 1
#define DMP_VELLUMO_VERSION_PATCH 0
#define DMP_VELLUMO_VERSION                                                                        \
    ((DMP_VELLUMO_VERSION_MAJOR << 16) | (DMP_VELLUMO_VERSION_MINOR << 8) |                        \
     DMP_VELLUMO_VERSION_PATCH)

/* Type mask bits. The caller passes the media bits; the device bits are set
 * by the library only. */
#define DMP_TYPE_VIDEO 0x1u
#define DMP_TYPE_IMAGE 0x2u
#define DMP_TYPE_AUDIO 0x4u
#define DMP_TYPE_UPGRADE 0x10u
#define DMP_TYPE_WIDI 0x20u
#define DMP_TYPE_QUERY 0x40u
#define DMP_TYPE_WFD_PIN 0x80u
#define DMP_TYPE_WFD_PBC 0x100u

/* Notifications; wparam is always the handle. */
#define DMP_WM_CONNECTED 2024u    /* the links are connected, playback starts; lparam 0 */
#define DMP_WM_VIDEO_STATUS 2025u /* video status changed; lparam 0 */
#define DMP_WM_IMAGE_STATUS 2026u /* image status changed; lparam 0 */
#define DMP_WM_AUDIO_STATUS 2027u /* audio status changed; lparam 0 */
#define DMP_WM_CLOSED 2028u       /* a link ended; lparam = the remaining type mask */
#define DMP_WM_ERROR 2029u        /* lparam = a negative DMP_ERROR_* code */

#define DMP_ERROR_NOT_CONNECTED (-1) /* a playback command while a connection is not open */
#define DMP_ERROR_FILE_OPEN (-2)     /* the file the Box asked for cannot be opened */
#define DMP_ERROR_CONNECT (-4)       /* connecting to the Box failed */
#define DMP_ERROR_STATUS_READ (-6)   /* reading a status record failed */
#define DMP_ERROR_SEND (-7)          /* sending a command failed */
/* The Box reported that what it was asked failed: "stat" "done" with a
 * negative argument (an upgrade it could not fetch or write). DMP_WM_CLOSED
 * follows. */
#define DMP_ERROR_BOX_FAILED (-8)
/* The Box stopped answering: a link's status connection closed without
 * "done", or a video or audio link that plays heard nothing for
 * DMP_SILENCE_LIMIT_MS since its last record or command. DMP_WM_CLOSED
 * follows. */
#define DMP_ERROR_BOX_LOST (-9)
#define DMP_SILENCE_LIMIT_MS 10000

/* The host "window" of an asynchronous handle. The caller owns it and keeps it
 * alive while its handles live. post may be called from any library thread,
 * several at once, until the handle's Destroy returns; it must only queue the
 * message: it must not call back into the library. */
typedef struct DmpHostWindow {
    void (*post)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);
    void* context;
} DmpHostWindow;

/* Opaque instance handle. */
typedef struct DmpVellumoInfo DmpVellumoInfo;

/* Opaque ordered list of full paths, owned by the handle that gave it. */
typedef struct DmpMediaList DmpMediaList;

/* ---- create and destroy ------------------------------------------------- */

/* Synchronous handle for the Box at address:port (dotted IPv4). Never
 * connects. The caller owns the handle until Destroy (or a Close that leaves
 * it idle). Create and CreateW are the same function. */
DMP_EXPORT DmpVellumoInfo* Create(const wchar_t* address, int32_t port);
DMP_EXPORT DmpVellumoInfo* CreateW(const wchar_t* address, int32_t port);
DMP_EXPORT DmpVellumoInfo* CreateA(const char* address, int32_t port);

/* Asynchronous handle posting its notifications through window; a null window
 * gives a synchronous handle. CreateWithAsyncIo and CreateWithAsyncIoW are the
 * same function. */
DMP_EXPORT DmpVellumoInfo* CreateWithAsyncIo(const wchar_t* address, int32_t port,
                                             DmpHostWindow* window);
DMP_EXPORT DmpVellumoInfo* CreateWithAsyncIoW(const wchar_t* address, int32_t port,
                                              DmpHostWindow* window);
DMP_EXPORT DmpVellumoInfo* CreateWithAsyncIoA(const char* address, int32_t port,
                                              DmpHostWindow* window);

/* Sends the Box the disconnect command where it takes it at once, closes
 * every link, joins their threads and frees the handle; returns within about
 * 2 s. A handle the library does not know (already destroyed, never created)
 * is ignored. */
DMP_EXPORT void Destroy(DmpVellumoInfo* handle);

/* ---- play and control --------------------------------------------------- */

/* Plays a media file, or the media named by an ".m3u" play list (UTF-16LE),
 * local or http(s). Video plays alone; image and audio play together. In
 * asynchronous mode true means the connect was queued; DMP_WM_CONNECTED or
 * DMP_WM_ERROR follows. Blocks while it reads the list (see Blocking).
 * PlayFile and PlayFileW are the same function. */
DMP_EXPORT bool PlayFile(DmpVellumoInfo* handle, const wchar_t* path);
DMP_EXPORT bool PlayFileW(DmpVellumoInfo* handle, const wchar_t* path);
DMP_EXPORT bool PlayFileA(DmpVellumoInfo* handle, const char* path);

/* Each acts on the first link of mask that exists, tested in the order video,
 * image, audio; false when none does. */
DMP_EXPORT bool PlayNext(DmpVellumoInfo* handle, uint32_t mask);
DMP_EXPORT bool PlayPrev(DmpVellumoInfo* handle, uint32_t mask);
DMP_EXPORT bool Pause(DmpVellumoInfo* handle, uint32_t mask);
DMP_EXPORT bool Resume(DmpVellumoInfo* handle, uint32_t mask);
DMP_EXPORT bool SetRepeat(DmpVellumoInfo* handle, uint32_t mask, int32_t repeat);

/* Both act on the video link, else the audio link. time: the position in
 * seconds from the start of the current file. volume: 0 to GetMaxVolume(),
 * or -1 to mute. */
DMP_EXPORT bool SeekFileByTime(DmpVellumoInfo* handle, uint32_t time);
DMP_EXPORT bool SetVolume(DmpVellumoInfo* handle, int32_t volume);

/* ---- status ------------------------------------------------------------- */

/* The type mask of what the handle does now. */
DMP_EXPORT uint32_t GetPlayingType(DmpVellumoInfo* handle);

/* Classifies path (a media file or a play list) into the handle's video, image
 * and audio lists, at most a million entries; returns the mask of the
 * non-empty lists. 0 when nothing is playable: a path of no media or play-list
 * type leaves the lists as they were; a play list that cannot be read or
 * names no media empties them. */
DMP_EXPORT uint32_t GetFilesType(DmpVellumoInfo* handle, const wchar_t* path);

/* Kept by the video link if it exists, else by the audio link, else 0, as the
 * Box last reported them: durations in seconds; the volume from 0 to the
 * maximum volume, with bit 31 set while muted. */
DMP_EXPORT int32_t GetTotalDuration(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetCurrentDuration(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetVolume(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetMaxVolume(DmpVellumoInfo* handle);

/* Entries in the type's play list; 0 unless the type is active. */
DMP_EXPORT int32_t GetVideoCounts(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetImageCounts(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetAudioCounts(DmpVellumoInfo* handle);

/* Index of the file the Box reads; -1 before the first read or when the type
 * is not active. */
DMP_EXPORT int32_t GetCurPlayingVideoIndex(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetCurPlayingImageIndex(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetCurPlayingAudioIndex(DmpVellumoInfo* handle);

/* Full path of the file the Box reads, or null. The string belongs to the
 * library; a link's play list only grows, so it stays valid until the Close
 * of that type, the next PlayFile or device operation, or Destroy. */
DMP_EXPORT const wchar_t* GetCurPlayingVideoName(DmpVellumoInfo* handle);
DMP_EXPORT const wchar_t* GetCurPlayingImageName(DmpVellumoInfo* handle);
DMP_EXPORT const wchar_t* GetCurPlayingAudioName(DmpVellumoInfo* handle);

DMP_EXPORT bool IsVideoPaused(DmpVellumoInfo* handle);
DMP_EXPORT bool IsImagePaused(DmpVellumoInfo* handle);
DMP_EXPORT bool IsAudioPaused(DmpVellumoInfo* handle);

/* The Box's repeat status of that type's link; 0 without the link. */
DMP_EXPORT int32_t GetVideoRepeatStatus(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetImageRepeatStatus(DmpVellumoInfo* handle);
DMP_EXPORT int32_t GetAudioRepeatStatus(DmpVellumoInfo* handle);

/* ---- play lists --------------------------------------------------------- */

/* Sets *list to the first non-empty list of mask (video, image, audio).
 * The list belongs to the handle and is valid until its next GetFilesType
 * (or a PlayFile of another path, which classifies it), ClearPlayList or
 * Destroy. list must not be null. */
DMP_EXPORT bool GetFileList(DmpVellumoInfo* handle, uint32_t mask, DmpMediaList** list);

/* The most entries a merge lets a playing list hold. */
#define DMP_MAX_QUEUED_ENTRIES 100000

/* Adds the existing files of list to the playing link of mask: position -1
 * appends, 0 inserts in front and restarts the list on the Box. Appended
 * entries that the link queues already are skipped, no entry is added beyond
 * DMP_MAX_QUEUED_ENTRIES in all, and a merge that adds nothing sends
 * nothing. */
DMP_EXPORT bool MergeFileList(DmpVellumoInfo* handle, const DmpMediaList* list, uint32_t mask,
                              int32_t position);

/* Empties the handle's lists of mask; what plays is not touched. */
DMP_EXPORT void ClearPlayList(DmpVellumoInfo* handle, uint32_t mask);

/* Closes the links of mask. A handle left idle is destroyed: do not use it
 * afterwards (GetPlayingType before Close tells what remains). */
DMP_EXPORT void Close(DmpVellumoInfo* handle, uint32_t mask);

/* ---- device operations -------------------------------------------------- */

/* Tells the Box to fetch the firmware description at url (UTF-8). Each device
 * operation closes what the handle played. */
DMP_EXPORT bool Upgrade(DmpVellumoInfo* handle, const char* url);
DMP_EXPORT bool SwitchToWiDi(DmpVellumoInfo* handle);
DMP_EXPORT bool SwitchToWfdPIN(DmpVellumoInfo* handle);
DMP_EXPORT bool SwitchToWfdPBC(DmpVellumoInfo* handle);

/* Asks the Box for its version and waits about 3 s for the answer; zeros
 * when none came. The four pointers must be valid. */
DMP_EXPORT bool GetBoxVersion(DmpVellumoInfo* handle, int32_t* major, int32_t* minor,
                              int32_t* reserved, int32_t* build);

/* The Box's adapter MAC address as it sends it, 0 on failure. */
DMP_EXPORT uint64_t GetCurAdapterMacAddr(DmpVellumoInfo* handle);

/* ---- WiDi window hook and update throttle ------------------------------- */

/* module: the dlopen handle of this library. The hook has no system-wide
 * effect on this platform; the library keeps its state and decision. */
DMP_EXPORT bool InstallCBTHook(void* module);
DMP_EXPORT bool UninstallCBTHook(void);

/* StartUpdateInfo lets status notifications through again, dropping the next
 * two; StopUpdateInfo holds them back. Both return handle. */
DMP_EXPORT DmpVellumoInfo* StartUpdateInfo(DmpVellumoInfo* handle);
DMP_EXPORT DmpVellumoInfo* StopUpdateInfo(DmpVellumoInfo* handle);

#ifdef __cplusplus
}
#endif

#endif /* DMP_VELLUMO_H */

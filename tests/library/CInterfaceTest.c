/* The public header compiles as C and its functions can be called from C. */
#include "dmp_vellumo.h"

#include <stdio.h>

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(void) {
    DmpVellumoInfo* handle = CreateA("127.0.0.1", 7171);
    check(handle != NULL, "CreateA gives a handle");
    check(GetPlayingType(handle) == 0, "a new handle is idle");
    check(GetCurPlayingAudioIndex(handle) == -1, "no audio index before playing");
    check(GetCurPlayingAudioIndex(NULL) == 0, "a null handle gives index 0");
    check(StopUpdateInfo(handle) == handle, "StopUpdateInfo returns its handle");
    check(!PlayFileA(handle, ""), "an empty path does not play");
    Destroy(handle);
    return failures == 0 ? 0 : 1;
}

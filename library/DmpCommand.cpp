#include "DmpCommand.h"

uint8_t WireByte(int32_t code) {
    switch (code) {
    case kCmdDisconnect:
        return 'D';
    case kCmdPause:
        return 'p';
    case kCmdFileSize:
        return 'F';
    case kCmdSeekAck:
        return '$';
    case kCmdSeek:
        return 'J';
    case kMediaTypeImage:
        return 'I';
    case kMediaTypeAudio:
        return 'A';
    case kCmdPlay:
        return 'L';
    case kCmdNext:
        return 'N';
    case kCmdPrev:
        return 'V';
    case kCmdResume:
        return 'P';
    case kCmdVolume:
        return 'v';
    case kCmdPlayListNames:
        return 'l';
    case kCmdRepeat:
        return 'r';
    case kCmdRestart:
        return 's';
    case kCmdUpgrade:
        return 'u';
    case kCmdSwitchToWiDi:
        return 'w';
    case kCmdMute:
        return 'm';
    case kCmdVersion:
        return 'n';
    case kCmdMacAddress:
        return 'W';
    case kMediaTypeMacQuery:
        return 'g';
    case kCmdSwitchToWfdPin:
        return 'T';
    case kCmdSwitchToWfdPbc:
        return 't';
    default:
        return 0;
    }
}

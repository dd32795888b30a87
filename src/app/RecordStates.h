#pragma once
// The recording states the controller writes and the audio servers read.
#if __has_include("audio/AudioServer.h")
#include "audio/AudioServer.h"
#else
enum {
    RECSTATE_RECORDING = 256,
    RECSTATE_PAUSED = 257,
    RECSTATE_RESUMED = 258,
    RECSTATE_STOPPED = 259,
    RECSTATE_IDLE = 260,
};
#endif

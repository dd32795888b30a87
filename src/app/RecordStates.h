#pragma once
// The recording states the controller writes and the audio servers read (RECSTATE_*).
#include "audio/AudioServer.h"

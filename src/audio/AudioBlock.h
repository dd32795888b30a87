#pragma once
// The unit of call audio: 10 ms of 16 kHz, 16-bit signed little-endian mono PCM.
#include <cstdint>

constexpr int AUDIO_BLOCK_BYTES = 320;
constexpr int AUDIO_BLOCK_SAMPLES = 160;
constexpr int64_t AUDIO_BLOCK_US = 10000;

#pragma once
// How queued blocks become what the writer gets. Results are sized buffers the
// caller frees; null when no memory could be had.
#include "audiofile/Buffer.h"

// A microphone block and the remote block of the same index. Stereo: 160
// interleaved frames (mic, remote). Mono: the 32-bit sum clamped to 16 bits.
CBuffer* MixPair(const CBuffer& mic, const CBuffer& remote, bool bStereo);

// A block without partner, in stereo: silence first, the block second,
// whichever side it came from. (In mono the block itself is written.)
CBuffer* MixSingleStereo(const CBuffer& block);

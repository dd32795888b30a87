#pragma once
// The audio side's own thread last-error values (SetLastError), 0x1100 upwards.
#include <windows.h>

constexpr DWORD AUDIOERR_NULL_PATH = 4352;      // recording started without a path
constexpr DWORD AUDIOERR_ENCODER_REFUSED = 4353;  // the encoder does not take the audio settings
constexpr DWORD AUDIOERR_WRITER_CLOSED = 4355;  // write on a closed writer
constexpr DWORD AUDIOERR_NO_FILE = 4356;        // write with no open file
constexpr DWORD AUDIOERR_ENCODE = 4357;         // the encoder refused a chunk
constexpr DWORD AUDIOERR_SHORT_WRITE = 4358;    // the file took fewer bytes than were encoded

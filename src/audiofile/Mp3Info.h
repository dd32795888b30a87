#pragma once
// What an MP3 file holds, read from its frames rather than from a tag: a file
// whose writer was killed has no tag and may end in half a frame.
#include <string>

// Seconds of audio in the complete MPEG audio layer III frames of the file (a
// leading ID3v2 tag and a Xing/Info frame are skipped); -1 when the file cannot
// be read.
double GetMp3Duration(const std::wstring& strPath);

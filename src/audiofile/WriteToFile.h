#pragma once
// What the recorder writes a recording through, whatever the file format.
#include "audiofile/Buffer.h"

class IWriteToFile {
public:
    // Appends the buffer's samples, encoded as the format requires; true when
    // all of it reached the file.
    virtual bool Write(const CBuffer* pBuffer) = 0;
    // Finishes and closes the file; closing a closed writer does nothing and succeeds.
    virtual bool Close() = 0;
    // A writer still open is finished as by Close.
    virtual ~IWriteToFile() = default;
};

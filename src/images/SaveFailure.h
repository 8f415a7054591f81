#pragma once
// Why a picture could not be written, told the way the program's messages number their
// errors: "Path not found, error number: 76".

#include <QString>

namespace gv {

struct SaveFailure {
    int number = 0;
    QString description;
    bool failed() const { return number != 0; }
};

inline constexpr int kJpegWriterMissing = 48;

// The failure of writing path, found from the errno value the write ended with and from the
// place itself: a missing folder, a folder that may not be written, a name too long, a full
// disk.
SaveFailure writeFailure(const QString& path, int error);
// The JPEG writer is a plugin that is loaded at run time; the failure when it is missing.
SaveFailure jpegWriterMissing();
// The message for a failure: the missing JPEG writer has its own three lines.
QString saveFailureMessage(const SaveFailure& failure);

}  // namespace gv

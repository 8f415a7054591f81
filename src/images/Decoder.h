#pragma once
// Turns an image file into a Picture, choosing the decoder by the file's type key. Every
// failure comes back as a numbered error; nothing the file contains can crash the program or
// make it allocate beyond the memory budget.

#include <QSize>
#include <QString>
#include <optional>

#include "images/ColourProfile.h"
#include "images/Picture.h"

namespace gv {

struct RawPreview;

inline constexpr int kErrOutOfMemory = 7;       // larger than the memory budget
inline constexpr int kErrNoDecoder = 91;        // no picture object for this type key
inline constexpr int kErrInvalidPicture = 481;  // the decoder rejected the file
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrFileAccess = 75;
inline constexpr int kErrLoadingModule = 48;  // a decoder module of the program is missing

struct DecodeError {
    int number = 0;
    QString description;
};

// The program's memory budget (MemoryBudget::program()): a quarter of the machine's physical
// memory.
qint64 defaultMemoryBudget();

struct DecodeRequest {
    // When valid, a picture larger than this box may be decoded at the reduced size that fits
    // it (aspect kept) where the format makes that cheaper; the full raster then follows on
    // demand through Picture::fullRaster().
    QSize fitInto;
    // When valid, and fitInto is not, a JPEG larger than this box may come back with only its
    // top-left part of this size decoded, and the rest decoding on a worker thread
    // (Picture::fromTopLeft): the box is what a view at 1:1 shows of it first.
    QSize firstRegion;
    // Most this one decode may take, in bytes, counted as it really allocates; the decode also
    // reserves that much of the program's budget, which the pictures held already share.
    qint64 memoryBudget = defaultMemoryBudget();
    // Resolution for HIMETRIC sizes and for rendering PostScript; 0 means the screen's.
    double dpi = 0;
    // Ghostscript, which renders EPS files without a preview, is stopped after this long.
    int ghostscriptTimeoutMs = 20000;
    // The ICC profile of the display the picture is for (empty: sRGB). A photograph's own
    // profile is converted to it, and the picture is turned upright as its file says.
    QByteArray displayProfile = gv::displayProfile();
};

class DecodeResult final {
public:
    DecodeResult(Picture picture) : m_picture(std::move(picture)) {}
    DecodeResult(DecodeError error) : m_error(std::move(error)) {}

    bool ok() const { return m_error.number == 0; }
    const Picture& picture() const { return m_picture; }
    const DecodeError& error() const { return m_error; }

private:
    Picture m_picture;
    DecodeError m_error;
};

DecodeResult DecodeImageFile(const QString& path, const DecodeRequest& request = {});
// The same without the decoding helper: every decoder runs in this process. For the helper
// itself, and for comparing its pictures with those made here.
DecodeResult DecodeImageFileInProcess(const QString& path, const DecodeRequest& request = {});
// A file's bytes, for the types whose decoders read nothing else (not EPS, not metafiles):
// nullopt for the others.
std::optional<DecodeResult> DecodeImageBytesInProcess(const QByteArray& bytes, const QString& key,
                                                      const DecodeRequest& request);

// What is shown of a camera raw file: its JPEG preview as any JPEG is shown (a reduced decode
// for a fitted view, the top-left part first at 1:1), or its raster; turned upright by the
// raw's own orientation, or where that says nothing, by the preview's.
DecodeResult DecodeRawPreview(const RawPreview& preview, const DecodeRequest& request, double dpi);

// The message for a missing camera raw module.
DecodeError rawModuleMissing();

// A GIF is version 87a unless the first six characters of its first text line, lower-cased,
// are "gif89a".
bool gifIs87a(const QString& path);

}  // namespace gv

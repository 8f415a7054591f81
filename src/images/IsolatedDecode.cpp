#include "images/IsolatedDecode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDataStream>
#include <QFile>
#include <QFontDatabase>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "images/EpsPreview.h"
#include "images/MemoryBudget.h"
#include "images/Metafile.h"
#include "images/Orientation.h"
#include "images/RasterRead.h"
#include "images/SvgDocument.h"
#include "images/SvgPicture.h"
#include "platform/CameraRaw.h"
#include "platform/Fd.h"
#include "platform/FileAccess.h"
#include "platform/Ghostscript.h"
#include "platform/PhotoFormats.h"
#include "platform/SharedMemory.h"
#include "platform/Svg.h"
#include "platform/Tiff.h"

namespace gv {
namespace {

constexpr qint64 kMiB = 1024 * 1024;
// Address space a decoder needs besides the raster and its copy in shared memory: the file's
// bytes, its tables, the libraries it loads (GraphicsMagick, libtiff).
constexpr qint64 kWorkingSpace = 768 * kMiB;
// Processor time of one decode; an EPS gets Ghostscript's own time on top.
constexpr int kCpuSeconds = 30;
// Waiting for an answer ends this long after the processor time is up, for a decoder that
// sleeps instead of computing.
constexpr int kWallMsPerCpuSecond = 2000;
constexpr quint32 kAnswerVersion = 2;
// Frames of an animation the helper hands back at most; a longer one shows its first frames.
constexpr qsizetype kMaxFrames = 4096;
// The side of the image a metafile is played onto when it is opened.
constexpr int kProbeSide = 64;

std::atomic<int> g_cpuSeconds{0};

DecodeError invalidPicture(const QString& why) {
    return {kErrInvalidPicture, QStringLiteral("Invalid picture: ") + why};
}

DecodeError accessError() {
    return {kErrFileAccess, QStringLiteral("Path/File access error")};
}

DecodeError outOfMemory() {
    return {kErrOutOfMemory, QStringLiteral("Out of memory")};
}

// What a job does with the bytes: decode them, read a metafile's layout, or render a metafile;
// find a camera raw file's preview; read an SVG drawing's size, or render it.
enum class JobMode : qint32 {
    Decode = 0,
    MetafileLayout = 1,
    MetafileRender = 2,
    RawPreview = 3,
    SvgLayout = 4,
    SvgRender = 5,
};

// The answer's kind for a raw file's JPEG preview, handed back as it is in the file: the
// program decodes it as it decodes JPEG files.
constexpr qint32 kRawJpegAnswer = 100;

DecodeError helperMissing() {
    return {kErrLoadingModule, QStringLiteral("Error in loading the decoding helper: %1 is missing "
                                              "beside the program. Reinstall Glimvane.")
                                   .arg(QLatin1StringView(kSandboxHelperName))};
}

struct Job {
    qint32 mode = qint32(JobMode::Decode);
    qint32 width = 0;  // of a metafile's render
    qint32 height = 0;
    quint32 background = 0;  // QRgb, alpha included
    qint32 decoder = 0;
    QString key;
    double dpi = 0;
    qint64 budget = 0;
    qint32 ghostscriptTimeoutMs = 0;
    QByteArray displayProfile;  // what the pictures are converted to
};

QByteArray encodeJob(const Job& job) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << kAnswerVersion << job.mode << job.width << job.height << job.background << job.decoder
      << job.key << job.dpi << job.budget << job.ghostscriptTimeoutMs << job.displayProfile;
    return out;
}

std::optional<Job> decodeJob(QByteArrayView message) {
    const QByteArray bytes = message.toByteArray();
    QDataStream s(bytes);
    quint32 version = 0;
    Job job;
    s >> version >> job.mode >> job.width >> job.height >> job.background >> job.decoder >>
        job.key >> job.dpi >> job.budget >> job.ghostscriptTimeoutMs >> job.displayProfile;
    if (s.status() != QDataStream::Ok || version != kAnswerVersion || job.key.size() != 3 ||
        job.budget <= 0) {
        return std::nullopt;
    }
    return job;
}

// The answer: an error (number, description), or the raster's layout in the shared memory.
struct Answer {
    qint32 number = 0;
    QString description;
    qint32 kind = 0;
    qint32 width = 0;
    qint32 height = 0;
    qint64 bytesPerLine = 0;
    qint32 format = 0;
    QList<quint32> colours;  // of an indexed raster
    QByteArray layout;       // a metafile's
    // An animation's frames, each of the raster's layout one after the other in the memory,
    // and how long each is shown; empty for a still picture.
    QList<qint32> delaysMs;
};

QByteArray encodeAnswer(const Answer& a) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s << kAnswerVersion << a.number << a.description.left(1000) << a.kind << a.width << a.height
      << a.bytesPerLine << a.format << a.colours << a.layout << a.delaysMs;
    return out;
}

std::optional<Answer> decodeAnswer(const QByteArray& bytes) {
    QDataStream s(bytes);
    quint32 version = 0;
    Answer a;
    s >> version >> a.number >> a.description >> a.kind >> a.width >> a.height >> a.bytesPerLine >>
        a.format >> a.colours >> a.layout >> a.delaysMs;
    if (s.status() != QDataStream::Ok || version != kAnswerVersion ||
        a.delaysMs.size() > kMaxFrames) {
        return std::nullopt;
    }
    return a;
}

// A picture file, open for reading, with the size it had when it was opened.
class OpenPictureFile final {
public:
    OpenPictureFile(int fd, qint64 size) : m_fd(fd), m_size(size) {}

    int fd() const { return m_fd.get(); }
    qint64 size() const { return m_size; }

private:
    Fd m_fd;
    qint64 m_size;
};

// The file opened, if it can be and is neither empty nor larger than the budget.
std::unique_ptr<OpenPictureFile> openPictureFile(const QString& path, qint64 budget,
                                                 DecodeError* error) {
    const int fd = openForReadingFd(path);
    if (fd < 0) {
        *error = accessError();
        return nullptr;
    }
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    auto file = std::make_unique<OpenPictureFile>(fd, known ? qint64(st.st_size) : 0);
    if (!known) {
        *error = accessError();
        return nullptr;
    }
    if (file->size() > budget) {
        *error = outOfMemory();
        return nullptr;
    }
    if (file->size() <= 0) {
        *error = invalidPicture(QStringLiteral("empty file"));
        return nullptr;
    }
    return file;
}

// The open file's bytes, in sealed memory a job maps read-only and the program keeps.
std::optional<SharedMemory> readIntoSharedMemory(const OpenPictureFile& file, DecodeError* error) {
    std::optional<SharedMemory> memory =
        SharedMemory::sealedCopyOf(file.fd(), std::size_t(file.size()));
    if (!memory) {
        // Shrunk while it was read: what is missing would read as zeros.
        *error = errno == ENODATA ? invalidPicture(QStringLiteral("file shorter than expected"))
                                  : outOfMemory();
        return std::nullopt;
    }
    return memory;
}

SandboxLimits limitsFor(ImageDecoder decoder, const DecodeRequest& request) {
    SandboxLimits limits;
    const int override = g_cpuSeconds.load();
    int cpu = override > 0 ? override : kCpuSeconds;
    if (decoder == ImageDecoder::Eps && override <= 0) {
        cpu += std::max(request.ghostscriptTimeoutMs, 0) / 1000 + 1;
    }
    limits.cpuSeconds = cpu;
    limits.wallMs = cpu * kWallMsPerCpuSecond;
    if (decoder == ImageDecoder::Eps) {
        limits.wallMs = std::max(limits.wallMs, request.ghostscriptTimeoutMs + 5000);
    }
    // The decoded raster, its copy into shared memory and the decoder's own needs.
    const qint64 budget = std::max<qint64>(request.memoryBudget, 0);
    limits.extraAddressSpace = std::min<qint64>(budget, qint64(1) << 46) * 2 + kWorkingSpace;
    limits.runsPrograms = decoder == ImageDecoder::Eps;
    return limits;
}

QByteArray rasterAnswer(const DecodeResult& result, std::optional<SharedMemory>* memory);

// The rasters our readers allocated in this job, in shared memory from the start, so that the
// one a decode ends with is handed over without a copy.
std::vector<SharedMemory*> g_sharedRasters;

QImage sharedRaster(int width, int height, QImage::Format format) {
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 bytesPerLine = (qint64(width) * depth + 31) / 32 * 4;
    std::optional<SharedMemory> memory =
        SharedMemory::create(std::size_t(bytesPerLine) * std::size_t(height));
    if (!memory) {
        return QImage();
    }
    auto* held = new SharedMemory(std::move(*memory));
    g_sharedRasters.push_back(held);
    return QImage(
        held->data(), width, height, qsizetype(bytesPerLine), format,
        [](void* info) {
            auto* m = static_cast<SharedMemory*>(info);
            std::erase(g_sharedRasters, m);
            delete m;
        },
        held);
}

// The shared memory that holds exactly this raster, taken over; nullopt when it is elsewhere.
std::optional<SharedMemory> takeSharedRaster(const QImage& raster) {
    for (SharedMemory* m : g_sharedRasters) {
        if (m->data() && m->data() == raster.constBits() &&
            m->size() >= std::size_t(raster.sizeInBytes())) {
            // The image still points at it, but is never read again: the job ends on its answer.
            return std::move(*m);
        }
    }
    return std::nullopt;
}

QByteArray encodeLayout(MetafileKind kind, const metafile::Layout& l) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    const metafile::FrameSetup& f = l.setup;
    s << qint32(kind) << f.frame << f.devicePerMmX << f.devicePerMmY << f.wmfDefaults
      << f.windowAtOrigin << f.gdiViewport << l.himetric << l.firstRecord << l.end
      << qint32(l.objectCount);
    return out;
}

// The layout the helper found, if it could be one: the program only sizes the picture by it,
// and hands it back with the bytes for every render.
std::optional<std::pair<MetafileKind, metafile::Layout>> decodeLayout(const QByteArray& bytes,
                                                                      qint64 fileSize) {
    QDataStream s(bytes);
    qint32 kind = -1;
    qint32 objects = 0;
    metafile::Layout l;
    metafile::FrameSetup& f = l.setup;
    s >> kind >> f.frame >> f.devicePerMmX >> f.devicePerMmY >> f.wmfDefaults >> f.windowAtOrigin >>
        f.gdiViewport >> l.himetric >> l.firstRecord >> l.end >> objects;
    l.objectCount = objects;
    if (s.status() != QDataStream::Ok ||
        (kind != qint32(MetafileKind::Wmf) && kind != qint32(MetafileKind::Emf)) ||
        l.himetric.width() <= 0 || l.himetric.height() <= 0 || l.firstRecord < 0 ||
        l.end < l.firstRecord || l.end > fileSize) {
        return std::nullopt;
    }
    return std::pair{MetafileKind(kind), l};
}

QByteArray metafileAnswer(const Job& job, const QByteArray& bytes,
                          std::optional<SharedMemory>* memory) {
    QString why;
    const std::optional<Metafile> metafile = Metafile::fromBytes(bytes, &why);
    if (!metafile) {
        return decodingFailureAnswer(kErrInvalidPicture, QStringLiteral("Invalid picture: ") + why);
    }
    if (job.mode == qint32(JobMode::MetafileLayout)) {
        // The view works on a 1:1 raster of the picture, made while the images inside it are
        // held: what does not fit the program's budget is refused here, before any is decoded.
        const QSize px = Picture::fromMetafile(*metafile, job.dpi).sizePixels();
        if (rasterExceedsBudget(px.width(), px.height(), job.budget) ||
            qint64(px.width()) * px.height() * 4 + metafile->imageBytes() + bytes.size() >
                job.budget) {
            return decodingFailureAnswer(kErrOutOfMemory, QStringLiteral("Out of memory"));
        }
        // Every record played once, small, so that a file the player cannot get through fails
        // here, when it is opened, rather than on every paint.
        QImage probe(kProbeSide, kProbeSide, QImage::Format_ARGB32_Premultiplied);
        probe.fill(Qt::transparent);
        {
            QPainter painter(&probe);
            metafile->play(painter, QRectF(0, 0, kProbeSide, kProbeSide));
        }
        Answer a;
        a.kind = qint32(metafile->kind() == MetafileKind::Emf ? PictureKind::EnhancedMetafile
                                                              : PictureKind::Metafile);
        a.layout = encodeLayout(metafile->kind(), metafile->layout());
        return encodeAnswer(a);
    }
    if (job.width <= 0 || job.height <= 0 ||
        rasterExceedsBudget(job.width, job.height, job.budget)) {
        return decodingFailureAnswer(kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    // Painted straight into the memory handed back.
    QImage image = sharedRaster(job.width, job.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return decodingFailureAnswer(kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    image.fill(QColor::fromRgba(job.background));
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                               QPainter::TextAntialiasing);
        metafile->play(painter, QRectF(0, 0, job.width, job.height));
    }
    return rasterAnswer(DecodeResult(Picture::fromRaster(image)), memory);
}

QByteArray failureAnswer(const DecodeError& error) {
    return decodingFailureAnswer(error.number, error.description);
}

QByteArray svgAnswer(const Job& job, const QByteArray& bytes, std::optional<SharedMemory>* memory) {
    QString why;
    bool tooLarge = false;
    const std::optional<SvgDocument> doc = readSvgDocument(bytes, job.budget, &why, &tooLarge);
    if (!doc) {
        return tooLarge ? failureAnswer(outOfMemory()) : failureAnswer(invalidPicture(why));
    }
    if (!svgRendererAvailable()) {
        return failureAnswer(svgModuleMissing());
    }
    if (job.mode == qint32(JobMode::SvgLayout)) {
        DecodeError error;
        const std::optional<QSizeF> size = svgSizeOf(doc->xml, doc->size, &error);
        if (!size) {
            return failureAnswer(error);
        }
        // Drawn once, small, so that a drawing the renderer cannot get through fails here,
        // when it is opened, rather than on every paint.
        QImage probe(kProbeSide, kProbeSide, QImage::Format_ARGB32_Premultiplied);
        probe.fill(Qt::transparent);
        if (!renderSvgOnto(doc->xml, &probe)) {
            return failureAnswer(invalidPicture(QStringLiteral("the drawing cannot be read")));
        }
        Answer a;
        a.kind = qint32(PictureKind::Bitmap);
        QDataStream s(&a.layout, QIODevice::WriteOnly);
        s << *size;
        return encodeAnswer(a);
    }
    if (job.width <= 0 || job.height <= 0 ||
        rasterExceedsBudget(job.width, job.height, job.budget)) {
        return failureAnswer(outOfMemory());
    }
    QImage image = sharedRaster(job.width, job.height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return failureAnswer(outOfMemory());
    }
    image.fill(QColor::fromRgba(job.background));
    if (!renderSvgOnto(doc->xml, &image)) {
        return failureAnswer(invalidPicture(QStringLiteral("the drawing cannot be read")));
    }
    return rasterAnswer(DecodeResult(Picture::fromRaster(image)), memory);
}

QByteArray rawAnswer(const Job& job, const RawSource& source, std::optional<SharedMemory>* memory) {
    if (!rawDecoderAvailable()) {
        return failureAnswer(rawModuleMissing());
    }
    QString why;
    bool tooLarge = false;
    std::optional<RawPreview> preview = readRawPreview(source, job.budget, &why, &tooLarge);
    if (!preview) {
        return tooLarge ? failureAnswer(outOfMemory()) : failureAnswer(invalidPicture(why));
    }
    if (preview->jpeg.isEmpty()) {
        DecodeRequest request;
        request.memoryBudget = job.budget;
        request.displayProfile = job.displayProfile;
        return rasterAnswer(DecodeRawPreview(*preview, request, job.dpi), memory);
    }
    std::optional<SharedMemory> out = SharedMemory::create(std::size_t(preview->jpeg.size()));
    if (!out) {
        return failureAnswer(outOfMemory());
    }
    std::memcpy(out->data(), preview->jpeg.constData(), std::size_t(preview->jpeg.size()));
    *memory = std::move(out);
    Answer a;
    a.kind = kRawJpegAnswer;
    a.bytesPerLine = preview->jpeg.size();
    a.layout = QByteArray::number(preview->orientation);
    return encodeAnswer(a);
}

QByteArray answerJob(QByteArrayView message, QByteArrayView input,
                     std::optional<SharedMemory>* memory) {
    const std::optional<Job> job = decodeJob(message);
    if (!job) {
        return decodingFailureAnswer(kErrInvalidPicture, QStringLiteral("malformed job"));
    }
    // The job's own allocations (the images inside a metafile among them) count against the
    // program's budget, not against the machine's.
    MemoryBudget::program().setLimit(job->budget);
    DecodeRequest request;
    request.dpi = job->dpi;
    request.memoryBudget = job->budget;
    request.ghostscriptTimeoutMs = job->ghostscriptTimeoutMs;
    request.displayProfile = job->displayProfile;
    const QByteArray inPlace = QByteArray::fromRawData(input.data(), input.size());
    if (job->mode == qint32(JobMode::RawPreview)) {
        return rawAnswer(*job, rawSourceOf(input), memory);
    }
    if (job->mode == qint32(JobMode::SvgLayout) || job->mode == qint32(JobMode::SvgRender)) {
        return svgAnswer(*job, inPlace, memory);
    }
    if (job->mode != qint32(JobMode::Decode)) {
        return metafileAnswer(*job, inPlace, memory);
    }
    // The bytes where they are, for the decoders that read nothing else.
    if (std::optional<DecodeResult> result =
            DecodeImageBytesInProcess(inPlace, job->key, request)) {
        return rasterAnswer(*result, memory);
    }
    // The others read files: the bytes become one in the job's own folder, under a name of
    // ours that keeps the type key.
    const QByteArray name = "image." + QFile::encodeName(job->key);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || !writeAll(fd, input)) {
        return decodingFailureAnswer(kErrInvalidPicture,
                                     QStringLiteral("Invalid picture: the decoder has no room"));
    }
    ::close(fd);
    return rasterAnswer(DecodeImageFileInProcess(QFile::decodeName(name), request), memory);
}

// Every frame of an animation in one memory, in the first frame's layout.
QByteArray animationAnswer(const Picture::Animation& animation,
                           std::optional<SharedMemory>* memory) {
    const qsizetype count = std::min(animation.frames.size(), kMaxFrames);
    const QImage& first = animation.frames.constFirst();
    const std::size_t frameBytes = std::size_t(first.sizeInBytes());
    std::optional<SharedMemory> out = SharedMemory::create(frameBytes * std::size_t(count));
    if (!out) {
        return decodingFailureAnswer(kErrOutOfMemory, QStringLiteral("Out of memory"));
    }
    Answer a;
    a.kind = qint32(PictureKind::Bitmap);
    a.width = first.width();
    a.height = first.height();
    a.bytesPerLine = first.bytesPerLine();
    a.format = qint32(first.format());
    for (qsizetype i = 0; i < count; ++i) {
        const QImage frame = animation.frames[i].convertedTo(first.format());
        if (frame.size() != first.size() || frame.sizeInBytes() != first.sizeInBytes()) {
            return decodingFailureAnswer(kErrInvalidPicture,
                                         QStringLiteral("Invalid picture: frames of two sizes"));
        }
        std::memcpy(out->data() + frameBytes * std::size_t(i), frame.constBits(), frameBytes);
        a.delaysMs.append(animation.delaysMs.value(i));
    }
    *memory = std::move(out);
    return encodeAnswer(a);
}

QByteArray rasterAnswer(const DecodeResult& result, std::optional<SharedMemory>* memory) {
    if (!result.ok()) {
        return decodingFailureAnswer(result.error().number, result.error().description);
    }
    const PictureKind kind = result.picture().kind();
    if (kind == PictureKind::Metafile || kind == PictureKind::EnhancedMetafile) {
        // An EPS whose preview is a metafile: the program plays it as it plays metafiles.
        Answer a;
        a.kind = qint32(kind);
        return encodeAnswer(a);
    }
    const QImage raster = result.picture().raster();
    if (raster.isNull()) {
        return decodingFailureAnswer(kErrInvalidPicture,
                                     QStringLiteral("Invalid picture: nothing decoded"));
    }
    if (const auto animation = result.picture().animation()) {
        return animationAnswer(*animation, memory);
    }
    std::optional<SharedMemory> out = takeSharedRaster(raster);
    if (!out) {
        // Rasters of the platform's libraries (libtiff, GraphicsMagick, Ghostscript).
        out = SharedMemory::create(std::size_t(raster.sizeInBytes()));
        if (!out) {
            return decodingFailureAnswer(kErrOutOfMemory, QStringLiteral("Out of memory"));
        }
        std::memcpy(out->data(), raster.constBits(), std::size_t(raster.sizeInBytes()));
    }
    *memory = std::move(out);
    Answer a;
    a.kind = qint32(result.picture().kind());
    a.width = raster.width();
    a.height = raster.height();
    a.bytesPerLine = raster.bytesPerLine();
    a.format = qint32(raster.format());
    for (const QRgb c : raster.colorTable()) {
        a.colours.push_back(c);
    }
    return encodeAnswer(a);
}

// A metafile's render at a size, by a new job of the helper; null when it failed.
QImage renderMetafileInHelper(const SharedMemory& input, JobMode mode, const QSize& size,
                              const QColor& background, bool* unanswered) {
    if (size.isEmpty()) {
        return QImage();
    }
    Job job;
    job.mode = qint32(mode);
    job.width = size.width();
    job.height = size.height();
    job.background = background.rgba();
    job.decoder = qint32(ImageDecoder::Metafile);
    job.key = QStringLiteral("emf");
    job.dpi = 96;
    job.budget = defaultMemoryBudget();
    DecodeRequest request;
    const std::optional<SandboxReply> reply = sandboxClient()->run(
        encodeJob(job), input, limitsFor(ImageDecoder::Metafile, request), nullptr);
    *unanswered = !reply;
    const std::optional<Answer> answer = reply ? decodeAnswer(reply->message) : std::nullopt;
    if (!answer || answer->number != 0 || answer->width != size.width() ||
        answer->height != size.height() ||
        answer->format != qint32(QImage::Format_ARGB32_Premultiplied)) {
        return QImage();
    }
    return imageInSharedMemory(reply->memory, answer->width, answer->height, answer->bytesPerLine,
                               QImage::Format_ARGB32_Premultiplied);
}

// A renderer that stops asking once a render has gone wrong: the window repaints often, and
// each try would be another job that crashes or runs out its time. Every render sends the
// sealed memory the file was first read into (the metafile's own bytes), never a new copy.
Metafile::Renderer failOnce(std::shared_ptr<const SharedMemory> input,
                            JobMode mode = JobMode::MetafileRender) {
    auto failed = std::make_shared<std::atomic<bool>>(false);
    return [failed, input, mode](const QByteArray&, const QSize& size, const QColor& background) {
        if (*failed) {
            return QImage();
        }
        bool unanswered = false;
        QImage image = renderMetafileInHelper(*input, mode, size, background, &unanswered);
        // Only a job that crashed or ran out of its limits; a size beyond the budget is refused
        // without harm, and a smaller one may follow.
        if (unanswered) {
            *failed = true;
        }
        return image;
    };
}

// A job's reply and the answer it holds; nothing, with *error saying why, when the job ended
// without answering, answered nonsense or reported a failure of its own.
struct JobReply {
    SandboxReply reply;
    Answer answer;
};
std::optional<JobReply> runJob(SandboxClient& client, const Job& job, SandboxInput input,
                               const SandboxLimits& limits, DecodeError* error) {
    QString failure;
    std::optional<SandboxReply> reply = client.run(encodeJob(job), input, limits, &failure);
    if (!reply) {
        *error = invalidPicture(failure);
        return std::nullopt;
    }
    std::optional<Answer> answer = decodeAnswer(reply->message);
    if (!answer) {
        *error = invalidPicture(QStringLiteral("the decoder's answer was malformed"));
        return std::nullopt;
    }
    if (answer->number != 0) {
        *error = DecodeError{answer->number, answer->description};
        return std::nullopt;
    }
    return JobReply{std::move(*reply), std::move(*answer)};
}

// An animation the helper decoded: its frames in place in the memory it handed back.
DecodeResult animatedPicture(const std::shared_ptr<const SharedMemory>& memory,
                             const Answer& answer, QImage first, qint64 budget, double dpi) {
    Picture::Animation animation;
    const std::size_t frameBytes = std::size_t(first.sizeInBytes());
    if (qint64(frameBytes) > budget / answer.delaysMs.size()) {
        return outOfMemory();
    }
    for (qsizetype i = 0; i < answer.delaysMs.size(); ++i) {
        QImage frame =
            i == 0 ? first
                   : imageInSharedMemory(memory, answer.width, answer.height, answer.bytesPerLine,
                                         QImage::Format(answer.format), frameBytes * std::size_t(i));
        if (frame.isNull()) {
            return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
        }
        animation.frames.append(std::move(frame));
        animation.delaysMs.append(std::max(answer.delaysMs[i], 0));
    }
    Picture picture = Picture::fromRaster(std::move(first), PictureKind::Bitmap, {}, dpi);
    picture.keepAnimation(std::move(animation));
    return picture;
}

// The job that reads a vector picture's layout: a metafile's records, a drawing's size.
Job layoutJob(JobMode mode, ImageDecoder decoder, const char* key, const DecodeRequest& request,
              double dpi) {
    Job job;
    job.mode = qint32(mode);
    job.decoder = qint32(decoder);
    job.key = QLatin1StringView(key);
    job.dpi = dpi;
    job.budget = request.memoryBudget;
    return job;
}

DecodeResult metafileInHelper(std::shared_ptr<const SharedMemory> shared,
                              const DecodeRequest& request, double dpi) {
    const SharedMemory& input = *shared;
    const Job job = layoutJob(JobMode::MetafileLayout, ImageDecoder::Metafile, "emf", request, dpi);
    DecodeError error;
    const std::optional<JobReply> done = runJob(*sandboxClient(), job, SandboxInput::memory(input),
                                                limitsFor(ImageDecoder::Metafile, request), &error);
    if (!done) {
        return error;
    }
    const Answer* answer = &done->answer;
    const auto layout = decodeLayout(answer->layout, qint64(input.size()));
    if (!layout) {
        return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
    }
    QByteArray bytes(reinterpret_cast<const char*>(input.constData()), qsizetype(input.size()));
    const Picture picture = Picture::fromMetafile(
        Metafile::playedElsewhere(layout->first, std::move(bytes), layout->second,
                                  failOnce(std::move(shared))),
        dpi);
    if (picture.sizePixels().isEmpty()) {
        return invalidPicture(QStringLiteral("metafile without a size"));
    }
    // The view works on a 1:1 raster of the picture, so its pixel size counts.
    if (rasterExceedsBudget(picture.sizePixels().width(), picture.sizePixels().height(),
                            request.memoryBudget)) {
        return outOfMemory();
    }
    return picture;
}

// A drawing, sized by the helper and rendered there at every size it is shown at.
DecodeResult svgInHelper(std::shared_ptr<const SharedMemory> shared, const DecodeRequest& request,
                         double dpi) {
    const Job job = layoutJob(JobMode::SvgLayout, ImageDecoder::Svg, "svg", request, dpi);
    DecodeError error;
    const std::optional<JobReply> done =
        runJob(*sandboxClient(), job, SandboxInput::memory(*shared),
               limitsFor(ImageDecoder::Svg, request), &error);
    if (!done) {
        return error;
    }
    QDataStream s(done->answer.layout);
    QSizeF size;
    s >> size;
    if (s.status() != QDataStream::Ok || size.isEmpty()) {
        return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
    }
    QByteArray bytes(reinterpret_cast<const char*>(shared->constData()), qsizetype(shared->size()));
    return svgPicture(std::move(bytes), size, failOnce(std::move(shared), JobMode::SvgRender),
                      request.memoryBudget, dpi);
}

// An EPS whose preview is a metafile: the preview, as the helper found it, read and played there
// like any metafile.
DecodeResult epsMetafileInHelper(const SharedMemory& eps, const DecodeRequest& request,
                                 double dpi) {
    const QByteArrayView all(reinterpret_cast<const char*>(eps.constData()), qsizetype(eps.size()));
    QString why;
    const std::optional<EpsLayout> layout = parseEpsLayout(
        all.first(std::min<qsizetype>(all.size(), kEpsBinaryHeaderSize)), all.size(), &why);
    if (!layout || !layout->wmf.present() || layout->wmf.offset < 0 ||
        layout->wmf.length > all.size() - layout->wmf.offset) {
        return invalidPicture(layout ? QStringLiteral("the decoder's answer was malformed") : why);
    }
    std::optional<SharedMemory> wmf = SharedMemory::create(std::size_t(layout->wmf.length));
    if (!wmf) {
        return outOfMemory();
    }
    std::memcpy(wmf->data(), all.data() + layout->wmf.offset, std::size_t(layout->wmf.length));
    if (!wmf->seal()) {
        return outOfMemory();
    }
    return metafileInHelper(std::make_shared<const SharedMemory>(std::move(*wmf)), request, dpi);
}

}  // namespace

bool decodesInHelper(ImageDecoder decoder) {
    switch (decoder) {
        case ImageDecoder::Bitmap:
        case ImageDecoder::Icon:
        case ImageDecoder::Targa:
        case ImageDecoder::Pcx:
        case ImageDecoder::Pict:
        case ImageDecoder::Tiff:
        case ImageDecoder::Eps:
        case ImageDecoder::Metafile:
        case ImageDecoder::WebP:
        case ImageDecoder::Avif:
        case ImageDecoder::Heif:
        case ImageDecoder::JpegXl:
        case ImageDecoder::Svg:
        case ImageDecoder::Raw:
            return true;
        case ImageDecoder::QtReader:
        case ImageDecoder::Png:
            break;
    }
    return false;
}

DecodeResult decodeInHelper(const QString& path, const TypeKeyInfo& info,
                            const DecodeRequest& request, double dpi) {
    DecodeError error;
    // A camera's raw file is read as its job goes, never held whole: its size is no memory.
    const std::unique_ptr<OpenPictureFile> file =
        openPictureFile(path,
                        info.decoder == ImageDecoder::Raw ? std::numeric_limits<qint64>::max()
                                                          : request.memoryBudget,
                        &error);
    if (!file) {
        return error;
    }
    // Pictures played again at each size they are shown at, and icons, which are saved back as
    // they came, keep their bytes: read once, into sealed memory. The job of any other picture
    // reads the file itself, and nothing is copied here.
    std::optional<SharedMemory> input;
    if (info.decoder == ImageDecoder::Metafile || info.decoder == ImageDecoder::Svg ||
        info.decoder == ImageDecoder::Icon) {
        input = readIntoSharedMemory(*file, &error);
        if (!input) {
            return error;
        }
    }
    if (info.decoder == ImageDecoder::Metafile) {
        if (!sandboxClient()->start()) {
            return helperMissing();
        }
        return metafileInHelper(std::make_shared<const SharedMemory>(std::move(*input)), request,
                                dpi);
    }
    if (info.decoder == ImageDecoder::Svg) {
        if (!sandboxClient()->start()) {
            return helperMissing();
        }
        return svgInHelper(std::make_shared<const SharedMemory>(std::move(*input)), request, dpi);
    }
    Job job;
    if (info.decoder == ImageDecoder::Raw) {
        job.mode = qint32(JobMode::RawPreview);
    }
    job.decoder = qint32(info.decoder);
    job.key = QString(info.key);
    job.dpi = dpi;
    job.budget = request.memoryBudget;
    job.ghostscriptTimeoutMs = request.ghostscriptTimeoutMs;
    // The job's message has room for a display's profile up to this size; with a larger one
    // the helper converts to sRGB.
    constexpr qsizetype kMaxDisplayProfile = 12 * 1024;
    if (request.displayProfile.size() <= kMaxDisplayProfile) {
        job.displayProfile = request.displayProfile;
    }
    const std::shared_ptr<SandboxClient> client = sandboxClient();
    QString failure;
    if (!client->start(&failure)) {
        return helperMissing();
    }
    const std::optional<JobReply> done =
        runJob(*client, job,
               input ? SandboxInput::memory(*input)
               : info.decoder == ImageDecoder::Raw
                   ? SandboxInput::fileReadAsItGoes(file->fd(), file->size())
                   : SandboxInput::file(file->fd(), file->size()),
               limitsFor(info.decoder, request), &error);
    if (!done) {
        return error;
    }
    const Answer* answer = &done->answer;
    const SandboxReply* reply = &done->reply;
    if (info.decoder == ImageDecoder::Raw && answer->kind == kRawJpegAnswer) {
        // The preview's bytes as the file held them, decoded here as JPEG files are.
        if (!reply->memory || answer->bytesPerLine <= 0 ||
            std::size_t(answer->bytesPerLine) > reply->memory->size()) {
            return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
        }
        RawPreview preview;
        preview.jpeg = QByteArray(reinterpret_cast<const char*>(reply->memory->constData()),
                                  qsizetype(answer->bytesPerLine));
        preview.orientation = std::clamp(answer->layout.toInt(), 1, 8);
        return DecodeRawPreview(preview, request, dpi);
    }
    if (rasterExceedsBudget(answer->width, answer->height, request.memoryBudget)) {
        return outOfMemory();
    }
    const auto kind = PictureKind(answer->kind);
    if (info.decoder == ImageDecoder::Eps &&
        (kind == PictureKind::Metafile || kind == PictureKind::EnhancedMetafile)) {
        input = readIntoSharedMemory(*file, &error);
        return input ? epsMetafileInHelper(*input, request, dpi) : DecodeResult(error);
    }
    if (kind != PictureKind::Bitmap && kind != PictureKind::Icon) {
        return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
    }
    QImage raster = imageInSharedMemory(reply->memory, answer->width, answer->height,
                                        answer->bytesPerLine, QImage::Format(answer->format));
    if (raster.isNull() || answer->colours.size() > 256) {
        return invalidPicture(QStringLiteral("the decoder's answer was malformed"));
    }
    if (!answer->colours.isEmpty()) {
        raster.setColorTable(QList<QRgb>(answer->colours.begin(), answer->colours.end()));
    }
    if (answer->delaysMs.size() > 1) {
        return animatedPicture(reply->memory, *answer, std::move(raster), request.memoryBudget,
                               dpi);
    }
    // Icons keep their bytes, to be saved back as they came.
    QByteArray original;
    if (kind == PictureKind::Icon && input) {
        original =
            QByteArray(reinterpret_cast<const char*>(input->constData()), qsizetype(input->size()));
    }
    return Picture::fromRaster(std::move(raster), kind, std::move(original), dpi);
}

namespace {

// What every job would otherwise load again for itself, loaded once in the helper before its
// jobs' processes are forked from it: the desktop's fonts (for metafiles' text), the module of
// the phone and web formats with theirs, the TIFF module and its codecs, Qt's list of image
// plug-ins, the SVG and camera raw modules, the search for Ghostscript.
std::vector<std::function<void()>> decoderWarmUp() {
    return {[] { QFontDatabase::families(); },
            [] { photoFormatsAvailable(); },
            [] { tiffDecoderAvailable(); },
            [] { QImageReader::supportedImageFormats(); },
            [] { svgRendererAvailable(); },
            [] { rawDecoderAvailable(); },
            [] { ghostscriptAvailable(); }};
}

// A job's process, confined and waiting: the paint engine, its threads and the fonts the
// metafile player draws with, ready before the job comes. Only our own drawing.
void warmUpPainting() {
    QImage scratch(kProbeSide * 8, kProbeSide * 8, QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    QPainter painter(&scratch);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    painter.fillRect(scratch.rect(), Qt::white);
    painter.setBrush(QBrush(Qt::red, Qt::DiagCrossPattern));
    painter.drawEllipse(QRectF(2, 2, 400, 300));
    painter.drawImage(QRectF(0, 0, 320, 320), scratch.copy(0, 0, 16, 16));
    for (const QFont::StyleHint hint : {QFont::SansSerif, QFont::Serif, QFont::Monospace}) {
        QFont font;
        font.setStyleHint(hint);
        for (const int weight : {400, 700}) {
            font.setWeight(QFont::Weight(weight));
            font.setPixelSize(12);
            painter.setFont(font);
            painter.drawText(QPointF(2, 40), QStringLiteral("Glimvane 0123"));
        }
    }
}

}  // namespace

SandboxHandler imageDecodingHandler() {
    SandboxHandler handler;
    handler.warmUp = decoderWarmUp();
    handler.whileWaiting = warmUpPainting;
    handler.answer = [](QByteArrayView message, QByteArrayView input,
                        std::optional<SharedMemory>* memory) {
        setRasterAllocator(sharedRaster);
        return answerJob(message, input, memory);
    };
    // Only a camera's raw file is read as its job goes (LibRaw reads what it needs of it).
    handler.answerFromFile = [](QByteArrayView message, const SandboxFile& input,
                                std::optional<SharedMemory>* memory) {
        setRasterAllocator(sharedRaster);
        const std::optional<Job> job = decodeJob(message);
        if (!job || job->mode != qint32(JobMode::RawPreview)) {
            return decodingFailureAnswer(kErrInvalidPicture, QStringLiteral("malformed job"));
        }
        MemoryBudget::program().setLimit(job->budget);
        return rawAnswer(*job, rawSourceOf(input), memory);
    };
    return handler;
}

QByteArray decodingFailureAnswer(int number, const QString& description) {
    Answer a;
    a.number = number == 0 ? kErrInvalidPicture : number;
    a.description = description;
    return encodeAnswer(a);
}

void setDecodeCpuSeconds(int seconds) {
    g_cpuSeconds = std::max(seconds, 0);
}

}  // namespace gv

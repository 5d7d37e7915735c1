#include "pictures/decoding.h"

#include "platform/childprocess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdint>
#include <memory>

namespace vm {

namespace {

constexpr int kDefaultDeadlineMs = 10000;
constexpr std::int64_t kAddressSpace = std::int64_t(1) << 30;

QString readError(int error, const QString& path)
{
    return QStringLiteral("Fehler %1 in IS_ReadXXX\n").arg(error) + path;
}

int deadlineMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("VELMIRANO_DECODER_DEADLINE_MS", &ok);
    return ok && ms > 0 ? ms : kDefaultDeadlineMs;
}

QString decoderProgram()
{
#ifndef VELMIRANO_DECODER_INSTALL_DIR
#define VELMIRANO_DECODER_INSTALL_DIR "/usr/local/bin"
#endif
    return FindHelperProgram("VELMIRANO_DECODER", QStringLiteral("velmirano-decoder"),
                             QStringLiteral(VELMIRANO_DECODER_INSTALL_DIR));
}

} // namespace

// ------------------------------------------------------------ requests --

DecodeRequest MakeDecodeRequest(const QString& path, bool exifRotate, std::optional<QSizeF> surface, bool expand,
                                bool metadata)
{
    DecodeRequest r;
    r.path = path;
    r.extension = PictureExtension(path);
    r.exifRotate = exifRotate;
    r.fitted = surface.has_value();
    if (surface) {
        r.surfaceW = surface->width();
        r.surfaceH = surface->height();
    }
    r.expand = expand;
    r.metadata = metadata;
    const QFileInfo info(path);
    if (info.exists()) {
        r.fileSize = info.size();
        r.fileModifiedMs = info.lastModified().toMSecsSinceEpoch();
    }
    return r;
}

// ------------------------------------------------------------- the job --

// One picture in one decoder process.
class DecodeJob {
public:
    DecodeJob(const QString& program, const DecodeRequest& request) : request_(request)
    {
        if (program.isEmpty()) return;
        ChildLimits limits;
        limits.addressSpaceBytes = kAddressSpace;
        limits.deadlineMs = deadlineMs();
        limits.maxOutputBytes = MaxAnswerBytes(request);
        child_ = std::make_unique<IsolatedChild>(program, QStringList(), EncodeRequest(request), limits);
    }

    const DecodeRequest& request() const { return request_; }
    bool done() const { return !child_ || !child_->running(); }
    void waitBlocking()
    {
        if (child_) child_->waitBlocking();
    }

    DecodedPicture result()
    {
        const auto failed = [this](int error) {
            return DecodedPicture{readError(error, request_.path), {}, {}, {}, {}};
        };
        // Without its decoder the program has no reader for any picture.
        if (!child_) return failed(kIsNoReader);
        switch (child_->end()) {
        case ChildEnd::Exited:
            if (child_->exitCode() == 0) {
                if (std::optional<DecodedPicture> d = ParseDecoded(child_->output(), request_)) return std::move(*d);
            }
            return failed(kIsCorrupt);
        case ChildEnd::OutOfMemory: return failed(kIsOutOfMemory);
        case ChildEnd::NotStarted: return failed(kIsNoReader);
        default: return failed(kIsCorrupt);
        }
    }

private:
    DecodeRequest request_;
    std::unique_ptr<IsolatedChild> child_;
};

// --------------------------------------------------------- the decoder --

PictureDecoder::PictureDecoder() = default;
PictureDecoder::~PictureDecoder() = default;

std::unique_ptr<DecodeJob> PictureDecoder::start(const DecodeRequest& request)
{
    if (program.isEmpty()) program = decoderProgram();
    if (!program.isEmpty()) ++started_;
    return std::make_unique<DecodeJob>(program, request);
}

void PictureDecoder::decodeAhead(const DecodeRequest& request)
{
    if (!aheadEnabled) return;
    if (ahead_ && ahead_->request() == request) return;
    ahead_.reset();
    ahead_ = start(request);
}

std::optional<DecodedPicture> PictureDecoder::obtain(const DecodeRequest& request,
                                                     const std::function<bool()>& stopped)
{
    std::unique_ptr<DecodeJob> job = std::move(ahead_);
    if (!job || !(job->request() == request)) {
        job.reset();
        job = start(request);
    }
    if (!job->done()) {
        if (!QCoreApplication::instance()) {
            job->waitBlocking();
        } else {
            // Input and close requests must get through at once; the timer
            // only makes sure the loop looks again now and then.
            QTimer wake;
            wake.start(50);
            while (!job->done()) {
                if (stopped && stopped()) return std::nullopt;
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            }
        }
    }
    return job->result();
}

void PictureDecoder::drop() { ahead_.reset(); }

QString DecodePicture(PictureDecoder& decoder, const QString& path, bool exifRotate, std::optional<QSizeF> surface,
                      bool expand, RgbImage& out, QSize* stored, PictureMetadata* metadata,
                      const std::function<bool()>& stopped)
{
    out.clear();
    std::optional<DecodedPicture> d =
        decoder.obtain(MakeDecodeRequest(path, exifRotate, surface, expand, metadata != nullptr), stopped);
    if (!d) return {};
    if (stored) *stored = d->stored;
    if (metadata) *metadata = std::move(d->metadata);
    out = std::move(d->picture);
    return d->loadError.isEmpty() ? d->fitError : d->loadError;
}

bool DecoderAvailable()
{
    const QString program = decoderProgram();
    if (program.isEmpty()) return false;
    ChildLimits limits;
    limits.addressSpaceBytes = kAddressSpace;
    limits.deadlineMs = 5000;
    limits.maxOutputBytes = 4096;
    IsolatedChild child(program, {QStringLiteral("--check")}, QByteArray(), limits);
    child.waitBlocking();
    return child.end() == ChildEnd::Exited && child.exitCode() == 0 && child.output().startsWith("velmirano-decoder");
}

} // namespace vm

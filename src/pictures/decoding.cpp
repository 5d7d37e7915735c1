#include "pictures/decoding.h"

#include "platform/childprocess.h"
#include "platform/paths.h"
#include "platform/sandbox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace vm {

namespace {

constexpr int kDefaultDeadlineMs = 10000;
constexpr std::int64_t kAddressSpace = std::int64_t(1) << 30;

QString readError(int error, const QString& path)
{
    switch (error) {
    case kDecoderTimedOut:
        return QStringLiteral("Fehler %1 in IS_ReadXXX: Zeitlimit beim Lesen überschritten\n").arg(error) + path;
    case kDecoderCrashed:
        return QStringLiteral("Fehler %1 in IS_ReadXXX: Bilddecoder abgestürzt\n").arg(error) + path;
    default: return QStringLiteral("Fehler %1 in IS_ReadXXX\n").arg(error) + path;
    }
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
        // The show opens the picture and hands the decoder that one file.
        const OpenedPicture picture = OpenPictureFile(request.path);
        if (!picture.file.valid()) {
            openFailure_ = picture.failure;
            return;
        }
        ChildLimits limits;
        limits.addressSpaceBytes = kAddressSpace;
        limits.deadlineMs = deadlineMs();
        limits.maxOutputBytes = MaxAnswerBytes(request);
        child_ = std::make_unique<IsolatedChild>(program, QStringList(), EncodeRequest(request), limits,
                                                 picture.file.get());
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
            return DecodedPicture{readError(error, request_.path), {}, {}, {}, {}, {}};
        };
        if (openFailure_ != OpenFailure::None) {
            const int error = openFailure_ == OpenFailure::NotFound       ? kIsFileNotFound
                              : openFailure_ == OpenFailure::AccessDenied ? kIsAccessDenied
                              : openFailure_ == OpenFailure::NotAFile     ? kIsNotAFile
                                                                          : kIsReadFailed;
            return DecodedPicture{QStringLiteral("Fehler %1 in IS_OpenFileSource\n").arg(error) + request_.path,
                                  {}, {}, {}, {}, {}};
        }
        // Without its decoder the program has no reader for any picture.
        if (!child_) return failed(kIsNoReader);
        switch (child_->end()) {
        case ChildEnd::Exited:
            if (child_->exitCode() == 0) {
                if (std::optional<DecodedPicture> d = ParseDecoded(child_->output(), request_)) {
                    // The decoder knows no path: its messages end where it goes.
                    if (!d->loadError.isEmpty()) d->loadError += request_.path;
                    if (!d->fitError.isEmpty()) d->fitError += request_.path;
                    return std::move(*d);
                }
            }
            return failed(kIsCorrupt);
        case ChildEnd::OutOfMemory: return failed(kIsOutOfMemory);
        case ChildEnd::NotStarted: return failed(kIsNoReader);
        case ChildEnd::TimedOut: return failed(kDecoderTimedOut);
        case ChildEnd::Crashed: return failed(kDecoderCrashed);
        default: return failed(kIsCorrupt);
        }
    }

private:
    DecodeRequest request_;
    OpenFailure openFailure_ = OpenFailure::None;
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

void PictureDecoder::decodeSoon(const std::vector<DecodeRequest>& upcoming, int parallel)
{
    if (!aheadEnabled) return;
    const auto named = [&upcoming](const DecodeRequest& r) {
        return std::find(upcoming.begin(), upcoming.end(), r) != upcoming.end();
    };
    std::erase_if(soon_, [&named](const std::unique_ptr<DecodeJob>& job) { return !named(job->request()); });
    auto running = std::count_if(soon_.begin(), soon_.end(), [](const auto& job) { return !job->done(); });
    for (const DecodeRequest& r : upcoming) {
        if (running >= parallel) break;
        if (std::any_of(soon_.begin(), soon_.end(), [&r](const auto& job) { return job->request() == r; })) continue;
        soon_.push_back(start(r));
        ++running;
    }
}

void PictureDecoder::dropSoon() { soon_.clear(); }

std::optional<DecodedPicture> PictureDecoder::obtain(const DecodeRequest& request,
                                                     const std::function<bool()>& stopped)
{
    std::unique_ptr<DecodeJob> job;
    if (ahead_ && ahead_->request() == request) {
        job = std::move(ahead_);
    } else if (auto it = std::find_if(soon_.begin(), soon_.end(),
                                      [&request](const auto& j) { return j->request() == request; });
               it != soon_.end()) {
        job = std::move(*it);
        soon_.erase(it);
    } else {
        // Asked for something else: what was decoded ahead is of no use.
        ahead_.reset();
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
    return finish(*job);
}

DecodedPicture PictureDecoder::finish(DecodeJob& job)
{
    DecodedPicture d = job.result();
    if (d.confinement) confinement_ = d.confinement;
    return d;
}

QString PictureDecoder::takeConfinementWarning()
{
    if (warned_ || !confinement_) return {};
    const QString warning = ConfinementWarning(*confinement_);
    if (!warning.isEmpty()) warned_ = true;
    return warning;
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

int DecoderCheckLimitMs()
{
    // A sanitizer build's decoder takes several times as long to start.
    return SanitizerBuild() ? 5000 : 1000;
}

bool DecoderAvailable(int limitMs)
{
    const QString program = decoderProgram();
    if (program.isEmpty()) return false;
    ChildLimits limits;
    limits.addressSpaceBytes = kAddressSpace;
    limits.deadlineMs = limitMs;
    limits.maxOutputBytes = 4096;
    IsolatedChild child(program, {QStringLiteral("--check")}, QByteArray(), limits);
    if (QCoreApplication::instance()) {
        // Events keep being served while the check runs; the child's own
        // deadline ends the wait at the latest.
        QEventLoop loop;
        child.onEnded = [&loop] { loop.quit(); };
        if (child.running()) loop.exec();
        child.onEnded = nullptr;
    } else {
        child.waitBlocking();
    }
    return child.end() == ChildEnd::Exited && child.exitCode() == 0 && child.output().startsWith("velmirano-decoder");
}

} // namespace vm

// Pictures are decoded in a short-lived decoder process, never in the show's
// own: a file that crashes, hangs or bloats a decoder then costs one error
// entry, not the show. The process loads the picture, fits it to the
// surface as the show step does and hands back the fitted pixels, the size
// as stored and the metadata the text stamp needs.
#pragma once

#include "imaging/protocol.h"

#include <QByteArray>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vm {

// A request for `path` as its file is now.
DecodeRequest MakeDecodeRequest(const QString& path, bool exifRotate, std::optional<QSizeF> surface, bool expand,
                                bool metadata);

class DecodeJob;

// Decodes one picture at a time in a decoder process and keeps one picture
// decoded ahead.
class PictureDecoder {
public:
    PictureDecoder();
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Starts decoding `request` in the background, in place of any picture
    // decoded ahead before.
    void decodeAhead(const DecodeRequest& request);
    // The picture for `request`: the one decoded ahead when it was asked for
    // exactly this, else decoded now. The event loop runs while it waits.
    // Nothing when `stopped` turns true meanwhile; the decoder is then ended.
    std::optional<DecodedPicture> obtain(const DecodeRequest& request, const std::function<bool()>& stopped);
    // Ends any decoding and forgets what was decoded ahead.
    void drop();

    // Starts decoding the pictures the caller expects to ask for next (the
    // album's next cells), at most `parallel` decoders at a time, in place
    // of earlier such guesses that `upcoming` no longer names. Each guess
    // runs in a decoder process of its own, so what one file does costs
    // only its own picture. obtain() takes a matching one.
    void decodeSoon(const std::vector<DecodeRequest>& upcoming, int parallel);
    // Ends the guesses still running and forgets them.
    void dropSoon();

    // Off: decodeAhead does nothing.
    bool aheadEnabled = true;
    // Decoder processes started so far.
    int started() const { return started_; }
    // The decoder program; found on first use when empty.
    QString program;

    // What the last decoder said of its confinement.
    std::optional<SandboxReport> confinement() const { return confinement_; }
    // The error-log text when a decoder ran less confined than the full
    // lock-down; given once, "" afterwards and when there is nothing to say.
    QString takeConfinementWarning();

private:
    std::unique_ptr<DecodeJob> start(const DecodeRequest& request);
    DecodedPicture finish(DecodeJob& job);

    std::unique_ptr<DecodeJob> ahead_;
    std::vector<std::unique_ptr<DecodeJob>> soon_;
    int started_ = 0;
    std::optional<SandboxReport> confinement_;
    bool warned_ = false;
};

// LoadPicture through the decoder, for callers that want no more than the
// picture: fitted to `surface` as the show step fits it, or as stored
// without one. "" or the loading's or the fitting's message; "" with an
// empty picture when `stopped` turned true while it was decoded.
QString DecodePicture(PictureDecoder& decoder, const QString& path, bool exifRotate, std::optional<QSizeF> surface,
                      bool expand, RgbImage& out, QSize* stored = nullptr, PictureMetadata* metadata = nullptr,
                      const std::function<bool()>& stopped = {});

// Whether the decoder program is there and runs: without it no picture can
// be shown. The event loop runs meanwhile (when there is one); a check that
// has not answered within `limitMs` counts as no decoder.
int DecoderCheckLimitMs();
bool DecoderAvailable(int limitMs = DecoderCheckLimitMs());

} // namespace vm

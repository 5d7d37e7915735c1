// The text stamp: the configured text, its placeholders expanded from the
// picture's path, dates and metadata, drawn over the shown picture.
#pragma once

#include "pictures/picturelist.h"
#include "platform/gdi.h"
#include "platform/imagelib.h"
#include "imaging/protocol.h"
#include "platform/paths.h"
#include "settings/settings.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace vm {

struct RunState;
class Target;

// What a metadata placeholder yields when the value cannot be read.
inline constexpr const char* kUnreadable = "?????";

enum class PathStyle { Windows, Posix };
constexpr PathStyle nativePathStyle()
{
    return platformUsesDrivePaths() ? PathStyle::Windows : PathStyle::Posix;
}

struct PathParts {
    QString drive;     // before the first ":" (always empty for Posix paths)
    QString folder;    // up to the last separator, without a leading one
    QString name;      // file name before its last "."
    QString extension; // after the last "."
    QString lastFolder; // the folder's part after its last separator
};

PathParts SplitPath(const QString& path, PathStyle style = nativePathStyle());

// The text of an EXIF tag of the picture; the Windows title, comment,
// author, keywords and subject tags are decoded from their UTF-16 bytes.
// "?????" when the tag or its value is missing.
QString GetExifText(const PictureMetadata& metadata, std::uint32_t tag);

// IPTC data sets by number: "T" + data-set number -> text, repeated data
// sets joined by ", ".
struct IptcTags {
    QMap<QString, QString> items;
};
IptcTags LoadIptcTags(const PictureMetadata& metadata);
QString GetIptcText(const IptcTags& tags, std::uint32_t number);

// Expands every placeholder except the line break "%\", which stays for the
// drawing; "%e" and "%i" take their values from the picture's metadata.
// `now` gives the current date and time, read anew for each of "%d", "%u"
// and "%w".
QString expandPlaceholders(const QString& text, const QString& path, const QDateTime& fileTime,
                           const PictureMetadata& metadata, const std::function<QDateTime()>& now = {});

// How the text is drawn. Colours are stored colour values (red in the low
// byte); a negative box or frame colour means none. Opacities in percent.
struct StampStyle {
    QString fontName = QStringLiteral("Arial");
    std::int32_t height = 15;
    std::int32_t colour = 16777215;
    std::int32_t opacity = 100;
    std::int32_t alignment = 0; // 0 automatic, 1 left, 2 centred, 3 right
    std::int32_t position = 1;  // 1..9, anything else: top left without offsets
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::int32_t direction = 0; // 0 normal, 1 90 degrees clockwise, 2 180, 3 counter-clockwise
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::int32_t boxColour = -1;
    std::int32_t boxOpacity = 0;
    std::int32_t frameColour = -1;
};

// The style as the show uses it: box and frame only when switched on.
StampStyle stampStyleFromSettings(const Settings& settings);

// Where the text box went: its top-left corner and its size after turning.
// The box and the frame lie one pixel around it.
struct StampPlacement {
    long long x = 0;
    long long y = 0;
    long long width = 0;
    long long height = 0;
};

// Text heights beyond this are drawn at this height: the stamp cannot show
// more of a glyph than fits on any picture.
inline constexpr std::int32_t kMaxStampHeight = 4096;

// The drawing surface of the stamp routines: an RGB buffer or nothing.
// Drawing clips to the buffer; nothing is drawn while there is none.
class StampTarget {
public:
    void SetStampTarget(RgbImage* buffer) { buffer_ = (buffer && !buffer->empty()) ? buffer : nullptr; }
    bool hasBuffer() const { return buffer_ != nullptr; }

    // Draws the text ("%\" breaks the line); nothing for an empty text, a
    // height <= 0 or no buffer. Returns where the text box went.
    std::optional<StampPlacement> DrawStampText(const QString& text, const StampStyle& style);

    // Blends the colour over (left, top)-(right, bottom), right and bottom
    // exclusive; right = -1 stands for the width, bottom = -1 for the height.
    void FillStampBox(std::int32_t colour, long long left, long long top, long long right, long long bottom,
                      std::int32_t opacity);

    // A one-pixel line including both end points.
    void DrawStampLine(std::int32_t colour, long long x1, long long y1, long long x2, long long y2);

private:
    RgbImage* buffer_ = nullptr;
};

// Draws `text` as it stands (no placeholders expanded) onto `image` with the
// stamp settings: the text stamp dialog's sample.
std::optional<StampPlacement> drawStamp(RgbImage& image, const Settings& settings, const QString& text);

// The stamp step after a completed transition: expands the text for the
// picture, draws it on a copy of neues_bild_dc and puts that copy on the
// target through puffer1 (left for the show step's clean-up). "" when the
// stamp is shown; otherwise why not, for whoever wants to know: the show
// step does not report it.
QString stampPicture(RunState& state, Target& target, const PictureEntry& entry,
                     const PictureMetadata& metadata);

} // namespace vm

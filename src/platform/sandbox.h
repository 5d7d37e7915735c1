// Confinement of a process that decodes one untrusted file it was handed
// already open: once locked down it can open no file (beyond the system's
// fonts when asked), write none, open no socket, start no program or
// thread, and name no other process (signals, limits, priorities, tracing).
// A confinement the kernel offers but that cannot be set up is a failure;
// one the kernel lacks is reported, never passed over in silence.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vm {

struct LockDownOptions {
    // Drawing text needs the font files, read only (metafiles draw text).
    bool fonts = false;
    // The HEVC and AV1 decoders behind HEIF start worker threads of their
    // own for every picture; new threads (never new processes) stay allowed.
    bool threads = false;
};

struct SandboxReport {
    int landlockAbi = 0;        // the kernel's Landlock version; 0 = none
    bool filesConfined = false; // no file can be opened beyond the fonts asked for
    bool scoped = false;        // signals and abstract sockets stay inside (Landlock 6)
    bool syscallFilter = false; // other processes, sockets, new processes and threads refused
    // The kernel offers a confinement that could not be made: the process
    // must not go on to read its file.
    bool failed = false;

    bool operator==(const SandboxReport&) const = default;
};

// Locks the calling process down for good.
SandboxReport LockDown(const LockDownOptions& options);

// The Landlock version the running kernel offers; 0 when it has none.
int LandlockAbi();

// What a lock-down on this system would give, as far as can be told
// without taking it: for a report before any decoder has run.
SandboxReport ExpectedConfinement();

// The error-log text for a confinement that falls short of the full one
// ("" when nothing is missing), and the one line the info dialog shows.
QString ConfinementWarning(const SandboxReport& report);
QString ConfinementSummary(const SandboxReport& report);

// Two bytes that carry a report from the decoder to the show; nothing when
// they cannot be a report.
QByteArray EncodeSandboxReport(const SandboxReport& report);
std::optional<SandboxReport> ParseSandboxReport(QByteArrayView bytes);
constexpr int kSandboxReportBytes = 2;

// True in builds with AddressSanitizer, which cannot run under an
// address-space limit.
bool SanitizerBuild();

} // namespace vm

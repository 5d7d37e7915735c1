// Confinement of a process that decodes one untrusted file: once locked
// down it may read that file (and, when asked, the system's fonts), but it
// cannot write files, open sockets, start programs or signal others. Where
// the system offers no such means, locking down does nothing and says so.
#pragma once

#include <QByteArray>
#include <QString>

namespace vm {

struct SandboxReport {
    int landlockAbi = 0;       // the kernel's Landlock version; 0 = none
    bool filesConfined = false; // reading is limited to the allowed files
    bool writesDenied = false;
    bool syscallFilter = false; // sockets, new processes and signals denied
};

// Locks the calling process down for good. `readableFile`: the one file it
// must still read; `fonts`: also the font folders (drawing text needs them).
SandboxReport LockDown(const QString& readableFile, bool fonts);

// The Landlock version the running kernel offers; 0 when it has none.
int LandlockAbi();

// Test support: run after LockDown, tries what a confined process must not
// be able to do and says for each whether it worked, one "name=0|1" per
// line: reading `allowedFile` (must work), reading `otherFile`, creating a
// file in `writableDir`, a socket, a new process, running a program,
// signalling the parent.
QByteArray ProbeConfinement(const QString& allowedFile, const QString& otherFile, const QString& writableDir);

// True in builds with AddressSanitizer, which cannot run under an
// address-space limit.
bool SanitizerBuild();

} // namespace vm

// The about box ("Inform"): version, file description and legal notice.
#pragma once

#include <QDialog>

namespace vm {

struct RunState;

// The program's version information.
struct VersionInfo {
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString fileDescription;
    QString legalNotice;
};
VersionInfo programVersion();

// "Version " + major.minor.revision + " " + the file description.
QString versionCaption(const VersionInfo& v);

class Inform : public QDialog {
public:
    // `owner` is the settings dialog; the box opens centred over it. The
    // time it stays open must not count as a transition's time.
    Inform(RunState& state, QWidget* owner, const VersionInfo& version = programVersion());

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace vm

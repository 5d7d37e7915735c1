// The windows of the run modes, opened by start-up.
#pragma once

#include "start/startup.h"

#include <QWidget>

#include <memory>

namespace vm {

// Start-up services of the real program: real screen, real windows.
class AppServices : public StartServices {
public:
    bool openWindow(RunState& state, const QString& modeWord) override;

private:
    std::unique_ptr<QWidget> window_;
};

} // namespace vm

// Turns SIGTERM and SIGINT (how a screen-saver daemon ends its hack, and how
// a session's logout ends programs) into a call on the event loop's thread.
#pragma once

#include <QObject>

#include <functional>

namespace vm {

class TerminationWatcher : public QObject {
public:
    explicit TerminationWatcher(std::function<void()> onTerminate, QObject* parent = nullptr);
    ~TerminationWatcher() override;

private:
    std::function<void()> onTerminate_;
};

} // namespace vm

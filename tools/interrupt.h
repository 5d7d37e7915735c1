// Ctrl-C or SIGTERM ends a tool command through its ordinary path, so its
// temporary folder is removed; the process then ends by the same signal.
// A second signal ends it at once.
#pragma once

#include <csignal>

namespace vm {

class InterruptRequest {
public:
    InterruptRequest();
    // Puts the default handlers back and, when a signal came, raises it
    // again: destroy it after everything that must be cleaned up.
    ~InterruptRequest();
    InterruptRequest(const InterruptRequest&) = delete;
    InterruptRequest& operator=(const InterruptRequest&) = delete;

    bool requested() const;
};

} // namespace vm

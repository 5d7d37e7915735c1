#include "interrupt.h"

#include <cstring>

namespace vm {

namespace {

// The one thing a signal handler may touch.
volatile std::sig_atomic_t caught = 0;

extern "C" void noteSignal(int signal) { caught = signal; }

void install(void (*handler)(int), int flags)
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

InterruptRequest::InterruptRequest()
{
    caught = 0;
    install(noteSignal, SA_RESETHAND); // the second signal finds the default
}

InterruptRequest::~InterruptRequest()
{
    install(SIG_DFL, 0);
    if (caught != 0) std::raise(caught);
}

bool InterruptRequest::requested() const { return caught != 0; }

} // namespace vm

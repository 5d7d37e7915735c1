// A short-lived helper process that works on untrusted input for us: it
// gets its input through ReadParentInput and perhaps one file already open
// (as descriptor kHandedFileFd), answers through AnswerParent, and runs
// under limits that keep whatever goes wrong inside it from reaching the
// caller: memory, CPU time, no core dumps, no file writes, a wall-clock
// deadline, a session of its own, a small environment, and no descriptor
// of the caller's beyond the ones named here.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QProcess;
class QTimer;

namespace vm {

struct ChildLimits {
    std::int64_t addressSpaceBytes = std::int64_t(1) << 30;
    int deadlineMs = 10000;
    // More output than this ends the child: nothing it may legitimately
    // answer is larger.
    std::int64_t maxOutputBytes = std::int64_t(1) << 30;
};

// How a child ended.
enum class ChildEnd {
    Running,
    Exited,        // by itself, with exitCode()
    Crashed,       // killed by a signal, or a sanitizer report
    OutOfMemory,   // its memory limit was reached
    TimedOut,      // the deadline passed; it was killed
    TooMuchOutput, // it was killed for answering more than allowed
    NotStarted,    // the program is missing or cannot be run
    Killed,        // ended by kill()
};

// The exit code by which a child says that it ran out of memory.
constexpr int kChildOutOfMemoryExit = 86;

class IsolatedChild : public QObject {
public:
    // Starts `program` at once with `input` for ReadParentInput.
    // `handedFile`: a descriptor the child gets as kHandedFileFd (-1 for
    // none); the caller keeps its own and may close it once this returns.
    IsolatedChild(const QString& program, const QStringList& arguments, const QByteArray& input,
                  const ChildLimits& limits, int handedFile = -1);
    // Kills the child if it still runs.
    ~IsolatedChild() override;

    bool running() const { return end_ == ChildEnd::Running; }
    ChildEnd end() const { return end_; }
    int exitCode() const { return exitCode_; }
    // The child's answer once it has ended by itself; valid while this
    // object lives.
    QByteArrayView output() const;
    // Ends the child now (SIGKILL or the platform's equivalent).
    void kill();
    // Waits without running the event loop; for callers that have none.
    void waitBlocking();
    // Runs when the child has ended, whatever the way.
    std::function<void()> onEnded;

private:
    void finish(ChildEnd how);
    void readOutput();
    void onProcessFinished();

    struct SharedAnswer;

    std::unique_ptr<QProcess> process_;
    std::unique_ptr<QTimer> deadline_;
    std::unique_ptr<SharedAnswer> shared_;
    ChildLimits limits_;
    QByteArray output_;
    QByteArray errorOutput_;
    ChildEnd end_ = ChildEnd::Running;
    int exitCode_ = -1;
};

// The descriptors a child starts with: 0, 1 and 2 (the null device, or
// pipes where the system offers no shared memory), the handed file, and the
// memory that carries its input and answer. Nothing else.
constexpr int kHandedFileFd = 3;
constexpr int kAnswerFd = 4;

// In the child: the input the parent gave, at most `maxBytes`; nothing when
// there is more or it cannot be read.
std::optional<QByteArray> ReadParentInput(qsizetype maxBytes);

// In the child: closes every descriptor above the ones named above, in case
// it was started by something else than IsolatedChild.
void CloseUnexpectedFiles();

// In the child: hands its answer to the parent, the parts one after the
// other. Large answers go through memory shared with the parent where the
// system offers it, else through stdout. False when it could not.
bool AnswerParent(std::initializer_list<QByteArrayView> parts);

// Where a helper program is: the file named by the environment variable
// `envVar` when it is set, else `name` beside the running executable, else
// `name` in `installedDir`. Empty when none of them is an executable file.
QString FindHelperProgram(const char* envVar, const QString& name, const QString& installedDir);

} // namespace vm

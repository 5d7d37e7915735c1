// The end of a run: free the screen buffers, then keep what the next run
// needs (run information, calibrated timings, where the show stopped).
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace vm {

class Registry;
struct RunState;

// `statisticsKey`: "delay" after a show, "pdelay" after a preview or the
// settings dialog, empty when nothing is to be saved. `message` is stored
// as misc\message.
void Shutdown(RunState& state, Registry& registry, const QString& statisticsKey,
              const QString& message, const QDateTime& now = QDateTime::currentDateTime());

// A date and time as the system writes them by default: its short date and
// its long time.
QString GeneralDate(const QDateTime& when, const QLocale& locale = QLocale::system());

} // namespace vm

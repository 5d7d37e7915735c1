// The error log: the last ten failures of a show, kept in a ring of stored
// values under the subkey "error".
#pragma once

#include <QDateTime>
#include <QString>

namespace vm {

class Registry;

constexpr int kErrorLogSlots = 10;

// Writes `message` with the time into the slot after the one written last
// ("numbers" counts 1 to 10, then starts at 1 again; slot k is "number"
// followed by the digit k - 1).
void LogError(Registry& registry, const QString& message,
              const QDateTime& now = QDateTime::currentDateTime());

} // namespace vm

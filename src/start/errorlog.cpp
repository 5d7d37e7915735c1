#include "start/errorlog.h"

#include "platform/paths.h"
#include "platform/registry.h"
#include "settings/settings.h"

namespace vm {

void LogError(Registry& registry, const QString& message, const QDateTime& now)
{
    const QString subkey = QStringLiteral("error");
    // A hand-edited counter that is no number or out of range starts the
    // ring again instead of writing outside it.
    const auto last = parseStoredInt(registry.ReadSetting(subkey, QStringLiteral("numbers"), 0));
    int k = last ? *last + 1 : 1;
    if (k > kErrorLogSlots || k < 1) k = 1;
    registry.WriteSetting(subkey, QStringLiteral("numbers"), k);
    // A path whose name is not UTF-8 carries its bytes in the message; the
    // log shows them as a person can read them.
    registry.WriteSetting(subkey, QStringLiteral("number%1").arg(k - 1),
                          now.toString(QStringLiteral("yyyy.MM.dd HH:mm:ss")) + u' ' + DisplayPath(message));
    registry.sync();
}

} // namespace vm

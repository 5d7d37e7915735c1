#include "start/shutdown.h"

#include "platform/registry.h"
#include "state/runstate.h"

namespace vm {

QString GeneralDate(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(when.time(), QLocale::LongFormat);
}

void Shutdown(RunState& state, Registry& registry, const QString& statisticsKey,
              const QString& message, const QDateTime& now)
{
    state.neues_bild_dc.release();
    state.desktop_dc.release();
    state.bildschirmkopie_dc.release();
    if (statisticsKey.isEmpty()) return;

    const QString misc = QStringLiteral("misc");
    registry.WriteSetting(misc, QStringLiteral("lastrun"), GeneralDate(now));
    registry.WriteSetting(misc, QStringLiteral("caller"), state.laufmodus);
    registry.WriteSetting(misc, QStringLiteral("message"), message);
    registry.WriteSetting(misc, QStringLiteral("dimensions"), state.dimensionen);

    SettingPairs timings;
    timings.reserve(2 * kEffectCount);
    for (int n = 1; n <= kEffectCount; ++n) {
        const Effekteintrag& e = state.effekte[std::size_t(n)];
        timings.emplace_back(QStringLiteral("D%1").arg(n), QString::number(e.verzoegerung));
        timings.emplace_back(QStringLiteral("S%1").arg(n), QString::number(e.schritt));
    }
    registry.RewriteList(statisticsKey, timings);

    registry.WriteSetting(misc, QStringLiteral("letzter_effekt"), state.settings.letzter_effekt);
    registry.WriteSetting(misc, QStringLiteral("letztes_bild"), state.CurrentPictureIndex);
    registry.sync();
}

} // namespace vm

// velmirano-tool run EFFECT: one effect, headless, through the same show
// step and transition frame as the show, on two generated or given pictures.
#include "effectrun.h"
#include "interrupt.h"

#include "transitions/catalogue.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

struct RunOptions {
    int effect = 0;
    vm::EffectRunSetup setup;
    int repeat = 1;
    int every = 1;
    QString oldPicture, newPicture, out, newOut, frames;
};

int runUsage(const char* problem)
{
    std::fprintf(stderr,
                 "velmirano-tool run: %s\n"
                 "Aufruf: velmirano-tool run EFFEKT [--size BxH] [--seed N] [--delay N] [--schritt N]\n"
                 "       [--tdauer N] [--expand 0|1] [--no-alpha] [--old DATEI] [--new DATEI]\n"
                 "       [--out DATEI.png] [--new-out DATEI.png] [--frames ORDNER [--every N]] [--repeat K]\n",
                 problem);
    return 2;
}

bool parseOptions(const QStringList& args, RunOptions& o, QString& problem)
{
    if (args.size() < 3) {
        problem = QStringLiteral("effect number missing");
        return false;
    }
    bool ok = false;
    o.effect = args[2].toInt(&ok);
    if (!ok || o.effect < 1 || o.effect > vm::kEffectCount) {
        problem = QStringLiteral("effect must be 1 to 76");
        return false;
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--no-alpha")) {
            o.setup.noAlpha = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            problem = a + QStringLiteral(" needs a value");
            return false;
        }
        const QString v = args[++i];
        auto number = [&](auto& field, long long lo, long long hi) {
            const long long n = v.toLongLong(&ok);
            ok = ok && n >= lo && n <= hi;
            if (ok) field = std::remove_reference_t<decltype(field)>(n);
            return ok;
        };
        bool good = true;
        if (a == QLatin1String("--size")) {
            const QStringList wh = v.split(u'x');
            good = wh.size() == 2;
            if (good) {
                int& w = o.setup.width;
                int& h = o.setup.height;
                w = wh[0].toInt(&ok);
                good = ok;
                h = wh[1].toInt(&ok);
                good = good && ok && w >= 1 && h >= 1 && w <= 8192 && h <= 8192;
            }
        } else if (a == QLatin1String("--seed")) {
            good = number(o.setup.seed, 0, 0xffffffffLL);
        } else if (a == QLatin1String("--delay")) {
            good = number(o.setup.delay, INT32_MIN, INT32_MAX);
        } else if (a == QLatin1String("--schritt")) {
            std::int32_t s = 1;
            good = number(s, 1, 100000);
            o.setup.schritt = s;
        } else if (a == QLatin1String("--tdauer")) {
            good = number(o.setup.tdauer, 1, 60);
        } else if (a == QLatin1String("--expand")) {
            good = number(o.setup.expand, 0, 1);
        } else if (a == QLatin1String("--repeat")) {
            good = number(o.repeat, 1, 100000);
        } else if (a == QLatin1String("--every")) {
            good = number(o.every, 1, 1000000);
        } else if (a == QLatin1String("--old")) {
            o.oldPicture = v;
        } else if (a == QLatin1String("--new")) {
            o.newPicture = v;
        } else if (a == QLatin1String("--out")) {
            o.out = v;
        } else if (a == QLatin1String("--new-out")) {
            o.newOut = v;
        } else if (a == QLatin1String("--frames")) {
            o.frames = v;
        } else {
            problem = QStringLiteral("unknown option ") + a;
            return false;
        }
        if (!good) {
            problem = QStringLiteral("bad value for ") + a;
            return false;
        }
    }
    return true;
}

QString oneLine(QString message) { return message.replace(u'\n', QLatin1String("\\n")); }

} // namespace

namespace vm {

int cmdRun(const QStringList& args)
{
    RunOptions o;
    QString problem;
    if (!parseOptions(args, o, problem)) return runUsage(qPrintable(problem));

    QTextStream out(stdout);
    const int w = o.setup.width, h = o.setup.height;
    // Before the scratch folder, so that it goes first when a signal ends the run.
    const vm::InterruptRequest interrupt;
    QTemporaryDir scratch;
    if (o.oldPicture.isEmpty() || o.newPicture.isEmpty()) {
        if (!scratch.isValid()) return runUsage("no temporary folder");
        if (o.oldPicture.isEmpty()) {
            o.oldPicture = scratch.filePath(QStringLiteral("old.png"));
            vm::generatedPicture(w, h, false).save(o.oldPicture);
        }
        if (o.newPicture.isEmpty()) {
            o.newPicture = scratch.filePath(QStringLiteral("new.png"));
            vm::generatedPicture(w, h, true).save(o.newPicture);
        }
    }

    // The desktop, then the old picture by a cut, as a show starts; the
    // picture list holds both pictures for the album and the pinboard.
    vm::HeadlessTarget target(w, h);
    vm::EffectRunner runner(o.setup, target);
    if (const QString failed = runner.prepare(o.oldPicture); !failed.isEmpty()) {
        out << "result=false\nmessage=" << oneLine(failed) << '\n';
        return 1;
    }
    vm::RunState& state = runner.state();

    if (!o.frames.isEmpty() && !QDir().mkpath(o.frames)) return runUsage("cannot create the frames folder");
    int run = 0;
    target.onPump = [&](int pump) {
        if (interrupt.requested()) state.abbruch = true;
        if (o.frames.isEmpty() || pump % o.every != 0) return;
        vm::bitmapToImage(target.bitmap())
            .save(QDir(o.frames).filePath(QStringLiteral("frame_%1_%2.png")
                                              .arg(run, 3, 10, QLatin1Char('0'))
                                              .arg(pump, 6, 10, QLatin1Char('0'))));
    };

    QString message;
    for (run = 1; run <= o.repeat; ++run) {
        target.resetPumps();
        message = runner.run(o.effect, run % 2 ? o.newPicture : o.oldPicture);
        // A measured run left its interval; otherwise time it up to now.
        const bool measured = message.isEmpty() && state.aktueller_effekt != 1;
        out << "ms=" << (measured ? state.stoppuhr.Interval() : state.stoppuhr.StopWatch()) << '\n';
        if (!message.isEmpty() || interrupt.requested()) break;
    }
    target.onPump = nullptr;

    const bool result = message.isEmpty();
    const vm::Effekteintrag& entry = state.effekte[std::size_t(o.effect)];
    out << "effect=" << o.effect << '\n'
        << "ran=" << state.aktueller_effekt << '\n'
        << "result=" << (result ? "true" : "false") << '\n'
        << "fehlertext=" << state.fehlertext << '\n'
        << "message=" << oneLine(message) << '\n'
        << "steps=" << target.pumps() << '\n'
        << "schritt=" << entry.schritt << '\n'
        << "aktuelles_delay=" << state.aktuelles_delay << '\n'
        << "verzoegerung=" << entry.verzoegerung << '\n';
    out.flush();
    if (!o.out.isEmpty()) vm::bitmapToImage(target.bitmap()).save(o.out);
    if (!o.newOut.isEmpty()) vm::bitmapToImage(*state.neues_bild_dc.bitmap()).save(o.newOut);
    return result ? 0 : 1;
}

} // namespace vm

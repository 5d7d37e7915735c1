// velmirano-tool frames: records the frame table (every step of every
// effect from a fixed scene), compares it with a committed one and, only
// when asked with --write, replaces the file, saying what changed.
#include "framerun.h"

#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace vm {

int cmdFrames(const QStringList& args)
{
    QString file;
    bool write = false;
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--write") && i + 1 < args.size()) {
            write = true;
            file = args[++i];
        } else if (args[i] == QLatin1String("--check") && i + 1 < args.size()) {
            file = args[++i];
        } else {
            std::fputs("Aufruf: velmirano-tool frames [--check DATEI | --write DATEI]\n", stderr);
            return 2;
        }
    }
    QTextStream out(stdout);
    const std::vector<frames::Record> rows = frames::table();
    if (file.isEmpty()) {
        for (const frames::Record& r : rows) out << r.line() << '\n';
        return 0;
    }
    std::map<QString, QString> committed = frames::readTable(file);
    int changed = 0;
    for (const frames::Record& r : rows) {
        const auto it = committed.find(r.key());
        if (it == committed.end()) {
            out << "new      " << r.line() << '\n';
            ++changed;
        } else {
            if (it->second != r.line()) {
                out << "changed  " << r.key() << ": " << frames::difference(r.line(), it->second) << '\n';
                ++changed;
            }
            committed.erase(it);
        }
    }
    for (const auto& [key, line] : committed) {
        out << "dropped  " << line << '\n';
        ++changed;
    }
    out << changed << " of " << rows.size() << " entries differ\n";
    if (!write) return changed == 0 ? 0 : 1;
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text)) return 1;
    QTextStream to(&f);
    to << "# effect size steps step-chain final-frame result; velmirano-tool frames --write FILE\n";
    for (const frames::Record& r : rows) to << r.line() << '\n';
    to.flush();
    return f.commit() ? 0 : 1;
}

} // namespace vm

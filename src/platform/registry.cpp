#include "platform/registry.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace vm {

namespace {

// A hand-edited value with a comma comes back as a list; keep it one text.
QString asText(const QVariant& v)
{
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

QString key(const QString& subkey, const QString& valueName) { return subkey + u'/' + valueName; }

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Whether name `a` comes before `b` when runs of digits count by their
// value: "2" before "10", "D9" before "D10".
bool numericallyBefore(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isDigit(a[i]) || !isDigit(b[j])) {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i, ++j;
            continue;
        }
        qsizetype iEnd = i, jEnd = j;
        while (iEnd < a.size() && isDigit(a[iEnd])) ++iEnd;
        while (jEnd < b.size() && isDigit(b[jEnd])) ++jEnd;
        qsizetype iFrom = i, jFrom = j; // without leading zeros
        while (iFrom + 1 < iEnd && a[iFrom] == u'0') ++iFrom;
        while (jFrom + 1 < jEnd && b[jFrom] == u'0') ++jFrom;
        if (iEnd - iFrom != jEnd - jFrom) return iEnd - iFrom < jEnd - jFrom;
        for (qsizetype k = 0; k < iEnd - iFrom; ++k)
            if (a[iFrom + k] != b[jFrom + k]) return a[iFrom + k] < b[jFrom + k];
        if (iEnd - i != jEnd - j) return iEnd - i < jEnd - j; // "1" before "01"
        i = iEnd;
        j = jEnd;
    }
    return a.size() - i < b.size() - j;
}

// The value as a person wrote it into the settings file, for the texts the
// file's own reader would change: unquoted commas (a list), a semicolon (a
// comment) or a quote inside. What this program writes is quoted where it
// needs to be and is read the ordinary way. Nothing when the file does not
// hold the value in such a form.
std::optional<QString> handWritten(const QByteArray& file, const QString& subkey, const QString& valueName)
{
    QString section;
    qsizetype from = 0;
    while (from < file.size()) {
        qsizetype end = file.indexOf('\n', from);
        if (end < 0) end = file.size();
        const QString line = QString::fromUtf8(file.constData() + from, end - from).trimmed();
        from = end + 1;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        if (section != subkey) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || line.left(eq).trimmed() != valueName) continue;
        const QString value = line.mid(eq + 1).trimmed();
        if (value.startsWith(u'"')) return std::nullopt;
        // The program's own writing escapes such characters with "\\".
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == u'\\') {
                ++i;
                continue;
            }
            if (value[i] == u',' || value[i] == u';' || value[i] == u'"') return value;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QString StripAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

Registry::Registry()
    : store_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                         QStringLiteral("Velmiworks"), QStringLiteral("Velmirano")))
{
}

Registry::~Registry() { sync(); }

QString Registry::ReadSetting(const QString& subkey, const QString& valueName,
                              const QString& defaultValue)
{
    const QVariant v = store_->value(key(subkey, valueName));
    if (!v.isValid()) return defaultValue;
    return StripAtNul(literalText(subkey, valueName, v, rawFile()));
}

int Registry::WriteSetting(const QString& subkey, const QString& valueName, const QString& value)
{
    store_->setValue(key(subkey, valueName), value);
    return store_->status() == QSettings::NoError ? 0 : 1;
}

int Registry::DeleteSettingsKey(const QString& subkey)
{
    store_->remove(subkey);
    return store_->status() == QSettings::NoError ? 0 : 1;
}

SettingPairs Registry::EnumSettings(const QString& subkey)
{
    SettingPairs pairs;
    store_->beginGroup(subkey);
    // The registry enumerates values in the order they were written, and the
    // lists are written in the order of their numeric names; QSettings sorts
    // them as text ("1", "10", "2"), which would reorder a list of ten or more.
    QStringList names = store_->childKeys();
    std::stable_sort(names.begin(), names.end(), numericallyBefore);
    pairs.reserve(std::size_t(names.size()));
    QList<QVariant> values;
    for (const QString& name : names) values << store_->value(name);
    store_->endGroup();
    const QByteArray file = names.isEmpty() ? QByteArray() : rawFile();
    for (qsizetype i = 0; i < names.size(); ++i)
        pairs.emplace_back(StripAtNul(names[i]), StripAtNul(literalText(subkey, names[i], values[i], file)));
    return pairs;
}

void Registry::RewriteList(const QString& subkey, const SettingPairs& entries)
{
    WriteSetting(subkey, QStringLiteral("0"), QStringLiteral("dummy"));
    DeleteSettingsKey(subkey);
    for (const auto& [name, data] : entries) WriteSetting(subkey, name, data);
}

QByteArray Registry::rawFile()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return {}; // the system's own store keeps texts as they are
#else
    // Pending writes first, so the file says what the store holds.
    store_->sync();
    QFile file(store_->fileName());
    // A settings file is small; one grown huge is read in part only.
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(kMaxRawSettingsBytes);
#endif
}

QString Registry::literalText(const QString& subkey, const QString& valueName, const QVariant& parsed,
                              const QByteArray& file)
{
    if (!file.isEmpty())
        if (const std::optional<QString> raw = handWritten(file, subkey, valueName)) return *raw;
    return asText(parsed);
}

void Registry::sync() { store_->sync(); }

QString Registry::fileName() const { return store_->fileName(); }

} // namespace vm

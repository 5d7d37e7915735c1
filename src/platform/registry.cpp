#include "platform/registry.h"

#include <QStringList>

namespace vm {

namespace {

// A hand-edited value with a comma comes back as a list; keep it one text.
QString asText(const QVariant& v)
{
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

QString key(const QString& subkey, const QString& valueName) { return subkey + u'/' + valueName; }

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
    return StripAtNul(asText(v));
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
    const QStringList names = store_->childKeys();
    pairs.reserve(std::size_t(names.size()));
    for (const QString& name : names)
        pairs.emplace_back(StripAtNul(name), StripAtNul(asText(store_->value(name))));
    store_->endGroup();
    return pairs;
}

void Registry::RewriteList(const QString& subkey, const SettingPairs& entries)
{
    WriteSetting(subkey, QStringLiteral("0"), QStringLiteral("dummy"));
    DeleteSettingsKey(subkey);
    for (const auto& [name, data] : entries) WriteSetting(subkey, name, data);
}

void Registry::sync() { store_->sync(); }

QString Registry::fileName() const { return store_->fileName(); }

} // namespace vm

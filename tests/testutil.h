// Shared test helpers: a private settings store per test program.
#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

// Points the settings store at a fresh directory before anything opens it.
struct ScratchConfig {
    QTemporaryDir dir;
    ScratchConfig() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    QString file() const { return dir.path() + "/Velmiworks/Velmirano.conf"; }
};

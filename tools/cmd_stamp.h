// velmirano-tool stamp: one picture as the show composes and stamps it.
#pragma once

#include <QStringList>

// `args`: the whole command line, "stamp" at index 1.
int cmdStamp(const QStringList& args);

// The pictures of a show: which files, in which order.
#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

namespace vm {

struct PictureEntry {
    QString filePath;
    QDateTime fileTime; // local time, whole seconds
};

// Entries 1 to PictureCount live at index 0 to PictureCount - 1.
using PictureList = std::vector<PictureEntry>;

struct RunState;

// Collects the pictures of state.Folders into state.pictureList.
void BuildPictureList(RunState& state);

} // namespace vm

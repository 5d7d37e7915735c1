// Code loaded at run time from a file beside the program: the decoder
// loads the readers of the rarer formats only for a picture that needs
// them, so that every other decoder starts without their libraries.
#pragma once

#include <QString>

namespace vm {

// Loads the module at `path` with everything it needs, for the rest of the
// process (it is never unloaded). False when it cannot be loaded.
bool LoadModule(const QString& path);

// The address of `name` among the modules loaded so far (and the program);
// null when none has it. Opens no file.
void* ModuleSymbol(const char* name);

} // namespace vm

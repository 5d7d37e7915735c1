#include "platform/module.h"

#include <QFile>

#include <dlfcn.h>

namespace vm {

bool LoadModule(const QString& path)
{
    // Every symbol resolved now, while files can still be opened; global,
    // so that ModuleSymbol finds its entry without keeping the handle.
    return dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_GLOBAL) != nullptr;
}

void* ModuleSymbol(const char* name) { return dlsym(RTLD_DEFAULT, name); }

} // namespace vm

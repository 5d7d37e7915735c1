// How this platform writes file paths: with drive letters and "\" (Windows)
// or with "/" alone.
#pragma once

namespace vm {

constexpr bool platformUsesDrivePaths()
{
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

} // namespace vm

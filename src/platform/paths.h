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

// Whether two paths that differ only in letter case name the same file, as
// on Windows file systems.
constexpr bool platformPathsIgnoreCase() { return platformUsesDrivePaths(); }

} // namespace vm

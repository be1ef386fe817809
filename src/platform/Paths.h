#pragma once

#include <QString>

namespace platform {

// Which separator rules a path follows.
enum class PathStyle { Posix, Windows };

#ifdef Q_OS_WIN
inline constexpr PathStyle nativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle nativePathStyle = PathStyle::Posix;
#endif

// Returns the part of a path after its last separator, or the whole path when it has none.
QString fileNameFromPath(const QString &path, PathStyle style = nativePathStyle);

// Returns whether a file or folder of this name may carry the hidden attribute: on POSIX
// systems a name that starts with '.' is hidden and no other is; Windows keeps the attribute
// apart from the name, so any may.
bool mayBeHidden(const QString &name, PathStyle style = nativePathStyle);

// Returns the path with doubled separators collapsed. POSIX: every run of '/' becomes one.
// Windows: pairs of backslashes become one, scanning left to right; a path starting with a
// backslash comes back with exactly two leading backslashes (a network path).
QString normalizePath(const QString &path, PathStyle style = nativePathStyle);
// Returns whether a POSIX path holds a run of '/', which normalizePath() makes one.
bool holdsSeparatorRun(QStringView path);

} // namespace platform

#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/Failure.h"

namespace nebulor {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Folder of the running executable, ending in exactly one separator ('/' here,
// '\' on Windows). config.ini and the raw log live there.
std::string GetEXEPath();

// The folder for config.ini and the logs, ending in a separator: `given`
// (--data-dir) made absolute when not empty; else the program's folder when
// canKeepFiles says files can be kept there (a build tree, a portable copy, a
// Windows folder of one's own); else userFolder, the installed program's case.
// With no user folder either, the program's folder stays.
std::string chooseDataFolder(const std::string& given, const std::string& programFolder,
                             const std::function<bool(const std::string&)>& canKeepFiles,
                             const std::string& userFolder);

// The user's data folder for Nebulor, ending in a separator:
// $XDG_DATA_HOME/nebulor, else $HOME/.local/share/nebulor (relative values
// count as unset, as the XDG base directory rules say); on Windows
// %LOCALAPPDATA%\Nebulor. Empty when the environment names none.
std::string userDataFolder(const std::function<const char*(const char*)>& environment);

// True when a file can be created in folder, found by creating and removing
// one. Never under /usr, which is read-only data by the file system hierarchy
// even where root could write: an installed program keeps nothing beside itself.
bool canKeepFilesIn(const std::string& folder);

// Creates folder and any missing parents; the reason when it cannot.
std::optional<Failure> createFolder(const std::string& folder);

// The folder as given, with the separator appended unless it already ends in
// one (a root folder such as "/" or "C:\" keeps its single separator).
std::string withTrailingSeparator(std::string folder);

// True when FileName names an existing file that is not a folder; never throws.
bool FileExists(const std::string& FileName);

// Paths in the core are UTF-8 text; these reach the file system with them on
// every platform (wide characters on Windows).
std::filesystem::path utf8Path(const std::string& path);
std::FILE* openFile(const std::string& path, const char* mode);

// Writes the text and flushes it to the operating system; false (errno set)
// when any of it could not be written.
bool writeText(std::FILE* file, std::string_view text);

// Readable text of an errno value.
std::string systemErrorText(int errorNumber);

}  // namespace nebulor

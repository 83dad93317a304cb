#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace nebulor {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Folder of the running executable, ending in exactly one separator ('/' here,
// '\' on Windows). config.ini and the raw log live there.
std::string GetEXEPath();

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

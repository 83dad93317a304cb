#pragma once

#include <string>

namespace nebulor {

// Folder of the running executable, ending in exactly one separator ('/' here,
// '\' on Windows). config.ini and the raw log live there.
std::string GetEXEPath();

// True when FileName names an existing file that is not a folder; never throws.
bool FileExists(const std::string& FileName);

}  // namespace nebulor

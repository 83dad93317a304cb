#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "../support/TempFolder.h"
#include "core/AppPaths.h"

namespace nebulor {
namespace {

TEST(AppPaths, AFolderGetsExactlyOneTrailingSeparator) {
  const std::string sep(1, kPathSeparator);
  const struct {
    std::string folder;
    std::string expected;
  } cases[] = {
      {sep, sep},  // a root folder: no doubled separator
      {sep + "opt" + sep + "nebulor", sep + "opt" + sep + "nebulor" + sep},
      {sep + "opt" + sep + "nebulor" + sep, sep + "opt" + sep + "nebulor" + sep},
#ifdef _WIN32
      {"C:\\", "C:\\"},
#endif
  };
  for (const auto& c : cases) EXPECT_EQ(withTrailingSeparator(c.folder), c.expected);
}

TEST(AppPaths, GetEXEPathIsTheFolderOfTheRunningProgram) {
  const std::string folder = GetEXEPath();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), kPathSeparator);
  EXPECT_TRUE(folder.size() == 1 || folder[folder.size() - 2] != kPathSeparator) << folder;
  EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
#ifdef __linux__
  EXPECT_TRUE(FileExists(folder + program_invocation_short_name)) << folder;
#endif
}

TEST(AppPaths, FileExistsOnlyForFilesAndNeverFails) {
  testing::TempFolder temp;
  testing::writeBytes(temp.file("config.ini"), "x");
  testing::writeBytes(temp.file("empty.csv"), "");
  std::filesystem::create_directory(temp.file("folder"));
  const struct {
    std::string path;
    bool exists;
  } cases[] = {
      {temp.file("config.ini"), true},
      {temp.file("empty.csv"), true},
      {temp.file("folder"), false},
      {temp.folder(), false},
      {temp.file("missing.ini"), false},
      {temp.file("missing") + kPathSeparator + "config.ini", false},
      {temp.file("config.ini") + kPathSeparator + "below", false},
      {"", false},
      {std::string("bad\0name", 8), false},
  };
  for (const auto& c : cases) EXPECT_EQ(FileExists(c.path), c.exists) << c.path;
}

}  // namespace
}  // namespace nebulor

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
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

TEST(AppPaths, DataFolderIsTheGivenOneElseBesideTheProgramWhenWritableElseTheUsers) {
  const std::string sep(1, kPathSeparator);
  const std::string program = sep + "opt" + sep + "nebulor" + sep;
  const std::string user =
      sep + "home" + sep + "ann" + sep + ".local" + sep + "share" + sep + "nebulor" + sep;
  const std::string given = (std::filesystem::temp_directory_path() / "dimm").lexically_normal().string();
  const struct {
    std::string given;
    bool programWritable;
    std::string user;
    std::string expected;
  } cases[] = {
      {"", true, user, program},         // a build tree or a portable copy
      {"", false, user, user},           // an installed program
      {"", false, "", program},          // no home known: nowhere better
      {given, true, user, given + sep},  // --data-dir wins over both
      {given + sep, false, user, given + sep},
  };
  for (const auto& c : cases) {
    std::vector<std::string> asked;
    const auto canKeepFiles = [&](const std::string& folder) {
      asked.push_back(folder);
      return c.programWritable;
    };
    EXPECT_EQ(chooseDataFolder(c.given, program, canKeepFiles, c.user), c.expected)
        << c.given << c.programWritable;
    for (const std::string& folder : asked) EXPECT_EQ(folder, program);
  }
  // A relative --data-dir is taken from the working folder.
  const std::string relative = chooseDataFolder(
      "dimm-data", program, [](const std::string&) { return true; }, user);
  EXPECT_EQ(relative, withTrailingSeparator((std::filesystem::current_path() / "dimm-data").string()));
}

TEST(AppPaths, UserDataFolderFollowsTheEnvironment) {
  using Environment = std::map<std::string, std::string>;
  const struct {
    Environment environment;
    std::string expected;
  } cases[] = {
#ifdef _WIN32
      {{{"LOCALAPPDATA", "C:\\Users\\ann\\AppData\\Local"}}, "C:\\Users\\ann\\AppData\\Local\\Nebulor\\"},
      {{{"LOCALAPPDATA", "relative"}}, ""},
      {{}, ""},
#else
      {{{"XDG_DATA_HOME", "/data/ann"}, {"HOME", "/home/ann"}}, "/data/ann/nebulor/"},
      {{{"HOME", "/home/ann"}}, "/home/ann/.local/share/nebulor/"},
      {{{"XDG_DATA_HOME", ""}, {"HOME", "/home/ann"}}, "/home/ann/.local/share/nebulor/"},
      {{{"XDG_DATA_HOME", "data"}, {"HOME", "/home/ann"}},
       "/home/ann/.local/share/nebulor/"},  // relative: ignored
      {{{"HOME", "ann"}}, ""},
      {{}, ""},
#endif
  };
  for (const auto& c : cases) {
    const auto environment = [&c](const char* name) -> const char* {
      const auto found = c.environment.find(name);
      return found == c.environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(userDataFolder(environment), c.expected);
  }
}

TEST(AppPaths, FilesCanBeKeptOnlyWhereAFileCanBeCreated) {
  testing::TempFolder temp;
  EXPECT_TRUE(canKeepFilesIn(temp.folder()));
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));  // the trial file is gone again
  EXPECT_FALSE(canKeepFilesIn(temp.file("missing")));
#ifdef __linux__
  // Tests run as root in CI, where a read-only mode bit stops nothing: /proc
  // takes no new files even from root, and /usr is never used.
  EXPECT_FALSE(canKeepFilesIn("/proc/"));
  EXPECT_FALSE(canKeepFilesIn("/usr/bin/"));
#endif
}

TEST(AppPaths, CreateFolderMakesParentsOrSaysWhyNot) {
  testing::TempFolder temp;
  const std::string nested = withTrailingSeparator(temp.file("share")) + "nebulor" + kPathSeparator;
  EXPECT_EQ(createFolder(nested), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(utf8Path(nested)));
  EXPECT_EQ(createFolder(nested), std::nullopt);  // already there
  testing::writeBytes(temp.file("plain"), "x");
  const auto failure = createFolder(withTrailingSeparator(temp.file("plain")) + "below");
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->reason.find(temp.file("plain")), std::string::npos) << failure->reason;
}

}  // namespace
}  // namespace nebulor

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "../support/TempFolder.h"
#include "config/ConfigFile.h"

namespace nebulor {
namespace {

using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// The file a save of the default values writes, line by line.
const std::string kDefaultFile =
    "holeDistance,150\r\n"
    "holeDiameter,50\r\n"
    "wavelength,0.5\r\n"
    "systemNoise,0\r\n"
    "initialExposure,0.5\r\n"
    "measurementExposure,0.01\r\n"
    "samplesPerReading,20\r\n";

Config changed(const std::function<void(Config&)>& change) {
  Config config = defaultConfig();
  change(config);
  return config;
}

// ---- defaults and text ------------------------------------------------------

TEST(ConfigText, DefaultsAreThePublishedValuesAndLines) {
  const Config defaults = defaultConfig();
  EXPECT_EQ(defaults.holeDistance, 150);
  EXPECT_EQ(defaults.holeDiameter, 50);
  EXPECT_EQ(defaults.wavelength, 0.5f);
  EXPECT_EQ(defaults.systemNoise, 0);
  EXPECT_EQ(defaults.initialExposure, 0.5f);
  EXPECT_EQ(defaults.measurementExposure, 0.01f);
  EXPECT_EQ(defaults.samplesPerReading, 20);
  EXPECT_EQ(configText(defaults), kDefaultFile);
}

TEST(ConfigText, ValuesTakeTheirShortestFormWithAFullStop) {
  const struct {
    Config config;
    const char* line;
  } cases[] = {
      {changed([](Config& c) { c.wavelength = 0.55f; }), "wavelength,0.55\r\n"},
      {changed([](Config& c) { c.measurementExposure = 0.01f; }), "measurementExposure,0.01\r\n"},
      {changed([](Config& c) { c.holeDistance = 123456.78f; }), "holeDistance,123456.8\r\n"},
      {changed([](Config& c) { c.systemNoise = -1.5f; }), "systemNoise,-1.5\r\n"},
      {changed([](Config& c) { c.initialExposure = 2.5e-7f; }), "initialExposure,2.5e-07\r\n"},
      {changed([](Config& c) { c.samplesPerReading = -5; }), "samplesPerReading,-5\r\n"},
      {changed([](Config& c) { c.samplesPerReading = 200; }), "samplesPerReading,200\r\n"},
  };
  for (const auto& c : cases) {
    const std::string text = configText(c.config);
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
  }
}

TEST(ConfigText, ReadsBackAsTheValuesItWasWrittenFrom) {
  const Config configs[] = {
      defaultConfig(),
      // holeDistance, holeDiameter, wavelength, systemNoise, both exposures, samplesPerReading
      Config{212.5f, 63.17f, 0.65f, 0.0123f, 2, 0.002f, 200},
      Config{1.234567e12f, 50, 3e-9f, -1, 1e-4f, 3600, 1},
  };
  for (const Config& config : configs) {
    const ConfigParse parse = parseConfigText(configText(config));
    EXPECT_EQ(parse.config, config) << configText(config);
    EXPECT_TRUE(parse.warnings.empty());
  }
}

// ---- reading ----------------------------------------------------------------

TEST(ParseConfigText, ReadsRecordsOverTheDefaults) {
  const struct {
    const char* text;
    Config expected;
  } cases[] = {
      {"", defaultConfig()},
      {"samplesPerReading,50\r\n", changed([](Config& c) { c.samplesPerReading = 50; })},
      {"HoleDistance,100\r\n", defaultConfig()},  // letter case counts
      {"holeDistance,120\r\nwavelength,0.6\r\nholeDistance,130\r\n", changed([](Config& c) {
         c.holeDistance = 130;
         c.wavelength = 0.6f;
       })},
      {"samplesPerReading,20.5\r\n", changed([](Config& c) { c.samplesPerReading = 20; })},
      {"samplesPerReading,21.5\r\n", changed([](Config& c) { c.samplesPerReading = 22; })},
      {"samplesPerReading,199.5\r\n", changed([](Config& c) { c.samplesPerReading = 200; })},
      {"samplesPerReading,1.4999\r\n", changed([](Config& c) { c.samplesPerReading = 1; })},
      {"systemNoise,7\r\nsystemNoise,\r\n", defaultConfig()},
      {"holeDistance,+1.2e2\r\nsystemNoise,-2.5E-1\r\n", changed([](Config& c) {
         c.holeDistance = 120;
         c.systemNoise = -0.25f;
       })},
      {" holeDiameter\t, 40 \r\n", changed([](Config& c) { c.holeDiameter = 40; })},
      {"measurementExposure,0.0100000001\r\n", defaultConfig()},  // rounded to single precision
      // Line ends of other systems, and blank lines.
      {"holeDiameter,40\nwavelength,0.6\n", changed([](Config& c) {
         c.holeDiameter = 40;
         c.wavelength = 0.6f;
       })},
      {"holeDiameter,40\r\r\n\r\nwavelength,0.6\r", changed([](Config& c) {
         c.holeDiameter = 40;
         c.wavelength = 0.6f;
       })},
      // Forms the program never writes are passed over without a word.
      {"; comment\r\nfoo,1\r\nholeDiameter,40,3\r\nholeDistance\r\n,5\r\nwavelength,0.6\r\n",
       changed([](Config& c) { c.wavelength = 0.6f; })},
  };
  for (const auto& c : cases) {
    const ConfigParse parse = parseConfigText(c.text);
    EXPECT_EQ(parse.config, c.expected) << c.text;
    EXPECT_EQ(parse.warnings.size(), 0u) << c.text;
  }
}

TEST(ParseConfigText, AMissingLastLineEndReadsTheSame) {
  const std::string text = "holeDistance,120\r\nholeDiameter,40\r\nsamplesPerReading,33";
  const ConfigParse without = parseConfigText(text);
  const ConfigParse with = parseConfigText(text + "\r\n");
  EXPECT_EQ(without.config, with.config);
  EXPECT_EQ(without.config.samplesPerReading, 33);
  EXPECT_EQ(without.config.holeDiameter, 40);
}

// An unusable value keeps what the key held and says so once: which key,
// the text found and the value kept.
TEST(ParseConfigText, UnusableValuesKeepTheirValueWithOneWarningEach) {
  const struct {
    const char* line;
    const char* kept;
  } cases[] = {
      {"holeDistance,abc", "150"},
      {"holeDistance,12abc", "150"},
      {"holeDistance,++5", "150"},
      {"holeDistance,+-5", "150"},
      {"holeDistance,0", "150"},
      {"holeDistance,", "150"},
      {"holeDiameter,-5", "50"},
      {"wavelength,1e39", "0.5"},
      {"wavelength,1e999", "0.5"},
      {"wavelength,nan", "0.5"},
      {"systemNoise,inf", "0"},
      {"initialExposure,1.5.2", "0.5"},
      {"samplesPerReading,0", "20"},
      {"samplesPerReading,0.4", "20"},
      {"samplesPerReading,201", "20"},
      {"samplesPerReading,40000", "20"},
      {"samplesPerReading,-3", "20"},
      {"samplesPerReading,1e10", "20"},
      {"samplesPerReading,twenty", "20"},
      {"samplesPerReading,", "20"},
      // No camera exposes for no time, less than none or for ever.
      {"initialExposure,-1", "0.5"},
      {"initialExposure,0", "0.5"},
      {"initialExposure,", "0.5"},
      {"measurementExposure,-0.01", "0.01"},
      {"measurementExposure,inf", "0.01"},
      {"measurementExposure,nan", "0.01"},
  };
  for (const auto& c : cases) {
    const std::string line = c.line;
    const std::string key = line.substr(0, line.find(','));
    const std::string value = line.substr(line.find(',') + 1);
    const ConfigParse parse = parseConfigText("systemNoise,2\r\n" + line + "\r\n");
    EXPECT_EQ(parse.config, changed([](Config& config) { config.systemNoise = 2; })) << line;
    ASSERT_EQ(parse.warnings.size(), 1u) << line;
    const std::string& warning = parse.warnings.front();
    EXPECT_NE(warning.find("line 2"), std::string::npos) << warning;
    EXPECT_NE(warning.find(key + " \"" + value + "\""), std::string::npos) << warning;
    const std::string kept = key == "systemNoise" ? "2" : c.kept;  // an earlier line of the same key stands
    EXPECT_NE(warning.find("keeping " + kept + "."), std::string::npos) << warning;
  }
}

TEST(ParseConfigText, AnUnusableLaterDuplicateLeavesTheEarlierValue) {
  const ConfigParse parse = parseConfigText("holeDistance,120\r\nholeDistance,-1\r\n");
  EXPECT_EQ(parse.config.holeDistance, 120);
  ASSERT_EQ(parse.warnings.size(), 1u);
  EXPECT_NE(parse.warnings.front().find("keeping 120."), std::string::npos) << parse.warnings.front();
}

// Holes that touch or overlap: the pair goes back to the defaults, whichever
// line made it so, with one warning naming both values.
TEST(ParseConfigText, AHoleDistanceNotAboveTheDiameterKeepsBothDefaults) {
  const char* texts[] = {
      "holeDistance,50\r\n",                     // equal to the default diameter
      "holeDiameter,200\r\n",                    // wider than the default distance
      "holeDistance,30\r\nholeDiameter,40\r\n",  // both set, still overlapping
  };
  for (const char* text : texts) {
    const ConfigParse parse = parseConfigText(std::string("systemNoise,2\r\n") + text);
    EXPECT_EQ(parse.config, changed([](Config& c) { c.systemNoise = 2; })) << text;
    ASSERT_EQ(parse.warnings.size(), 1u) << text;
    EXPECT_NE(parse.warnings.front().find("keeping 150 and 50."), std::string::npos)
        << parse.warnings.front();
  }
  EXPECT_TRUE(parseConfigText("holeDistance,40.5\r\nholeDiameter,40\r\n").warnings.empty());
}

TEST(ParseConfigText, ListsTwentyWarningsThenHowManyMore) {
  std::string text;
  for (int line = 1; line <= 25; ++line) text += "holeDistance,bad" + std::to_string(line) + "\r\n";
  const ConfigParse parse = parseConfigText(text);
  ASSERT_EQ(parse.warnings.size(), 21u);
  EXPECT_NE(parse.warnings[19].find("line 20:"), std::string::npos) << parse.warnings[19];
  EXPECT_EQ(parse.warnings[20], "... and 5 more.");
}

// ---- the file ---------------------------------------------------------------

TEST(LoadConfig, AMissingFileOrAFolderGivesTheDefaultsAndCreatesNothing) {
  TempFolder temp;
  Config config = changed([](Config& c) { c.holeDistance = 99; });
  EXPECT_TRUE(LoadConfig(config, temp.folder()).empty());
  EXPECT_EQ(config, defaultConfig());
  EXPECT_FALSE(std::filesystem::exists(temp.file(kConfigFileName)));

  std::filesystem::create_directory(temp.file(kConfigFileName));
  config = Config{};
  EXPECT_TRUE(LoadConfig(config, temp.folder()).empty());
  EXPECT_EQ(config, defaultConfig());
}

TEST(LoadConfig, ReadsTheFileAndPassesOnItsWarnings) {
  TempFolder temp;
  writeBytes(temp.file(kConfigFileName), "samplesPerReading,50\r\nholeDiameter,wide\r\nwavelength,0.7");
  Config config;
  const std::vector<std::string> warnings = LoadConfig(config, temp.folder());
  EXPECT_EQ(config, changed([](Config& c) {
              c.samplesPerReading = 50;
              c.wavelength = 0.7f;
            }));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings.front().find("holeDiameter \"wide\""), std::string::npos) << warnings.front();

  writeBytes(temp.file(kConfigFileName), "");
  EXPECT_TRUE(LoadConfig(config, temp.folder()).empty());
  EXPECT_EQ(config, defaultConfig());
}

TEST(SaveConfig, WritesExactlyTheSevenRecordsOverWhateverWasThere) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  EXPECT_EQ(SaveConfig(defaultConfig(), true, temp.folder()), std::nullopt);
  EXPECT_EQ(readBytes(path), kDefaultFile);

  writeBytes(path, "; my notes\r\nholeDistance,120\r\nextra,1\r\nholeDistance,130\r\n");
  const Config edited = changed([](Config& c) {
    c.wavelength = 0.55f;
    c.samplesPerReading = 100;
  });
  EXPECT_EQ(SaveConfig(edited, true, temp.folder()), std::nullopt);
  EXPECT_EQ(readBytes(path), configText(edited));
  Config loaded;
  EXPECT_TRUE(LoadConfig(loaded, temp.folder()).empty());
  EXPECT_EQ(loaded, edited);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1)
      << "no file left beside it";
}

TEST(SaveConfig, RefusesValuesThatWereNeverLoaded) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  EXPECT_TRUE(SaveConfig(Config{}, false, temp.folder()).has_value());
  EXPECT_FALSE(std::filesystem::exists(path));

  writeBytes(path, "holeDistance,120\r\n");
  const auto reason = SaveConfig(Config{}, false, temp.folder());
  ASSERT_TRUE(reason.has_value());
  EXPECT_NE(reason->reason.find("config.ini"), std::string::npos) << reason->reason;
  EXPECT_EQ(readBytes(path), "holeDistance,120\r\n");
}

TEST(SaveConfig, AFailedSaveGivesTheReasonAndKeepsTheOldFile) {
  TempFolder temp;
  const std::string missingFolder = temp.folder() + "gone" + kPathSeparator;
  const auto noFolder = SaveConfig(defaultConfig(), true, missingFolder);
  ASSERT_TRUE(noFolder.has_value());
  EXPECT_NE(noFolder->reason.find(missingFolder), std::string::npos) << noFolder->reason;

  // config.ini is a folder: it cannot be replaced, and nothing is left behind.
  std::filesystem::create_directory(temp.file(kConfigFileName));
  EXPECT_TRUE(SaveConfig(defaultConfig(), true, temp.folder()).has_value());
  EXPECT_TRUE(std::filesystem::is_directory(temp.file(kConfigFileName)));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1);
}

#ifndef _WIN32
TEST(SaveConfig, TheReplacementKeepsTheOldFilesPermissions) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  writeBytes(path, kDefaultFile);
  const auto ownerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
  std::filesystem::permissions(path, ownerOnly);
  ASSERT_EQ(SaveConfig(changed([](Config& c) { c.holeDiameter = 40; }), true, temp.folder()), std::nullopt);
  EXPECT_EQ(std::filesystem::status(path).permissions(), ownerOnly);
  EXPECT_NE(readBytes(path), kDefaultFile);
}
#endif

#ifndef _WIN32
// A file size limit of a few bytes refuses the new text as a full disk
// would, when it is flushed.
TEST(SaveConfig, AWriteThatFailsLeavesTheOldFileWhole) {
  TempFolder temp;
  const std::string path = temp.file(kConfigFileName);
  writeBytes(path, kDefaultFile);
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = before;
  tiny.rlim_cur = 10;
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  const auto reason = SaveConfig(changed([](Config& c) { c.holeDistance = 300; }), true, temp.folder());
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(reason.has_value());
  EXPECT_NE(reason->reason.find("large"), std::string::npos) << reason->reason;
  EXPECT_EQ(readBytes(path), kDefaultFile);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path + ".new")));
}

// Links at config.ini or config.ini.new (a user's own arrangement, or what
// a crash left) never lead a save into another file: the new file is
// created beside them and renamed over config.ini.
TEST(SaveConfig, NeverWritesThroughALink) {
  for (const std::string linked : {".new", ""}) {
    SCOPED_TRACE("link at config.ini" + linked);
    TempFolder temp;
    const std::string path = temp.file(kConfigFileName);
    const std::string elsewhere = temp.file("notes.txt");
    writeBytes(elsewhere, "precious");
    std::filesystem::create_symlink(elsewhere, path + linked);
    EXPECT_EQ(SaveConfig(defaultConfig(), true, temp.folder()), std::nullopt);
    EXPECT_EQ(readBytes(elsewhere), "precious");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
    EXPECT_EQ(readBytes(path), kDefaultFile);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path + ".new")));
  }
}
#endif

}  // namespace
}  // namespace nebulor

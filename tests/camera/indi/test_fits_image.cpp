#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "FitsTestFile.h"
#include "camera/Automation.h"
#include "camera/indi/FitsImage.h"

namespace nebulor::camera::indi {
namespace {

using testing::FitsTestFile;
using testing::rawFits;

// A pixel pattern that tells rows from columns and covers the 16-bit range.
double patternAt(int x, int y) { return static_cast<double>((x * 9973 + y * 31337) % 65536); }

std::vector<double> pattern(int width, int height) {
  std::vector<double> values;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) values.push_back(patternAt(x, y));
  }
  return values;
}

FitsImage decode(std::vector<std::uint8_t> bytes) { return readFitsImage(bytes.data(), bytes.size()); }

TEST(ReadFitsImage, KeepsGeometryAndEveryPixelOfAnUnsigned16BitImage) {
  constexpr int kWidth = 7;
  constexpr int kHeight = 5;
  FitsTestFile file(16, {kWidth, kHeight});
  file.pixels(pattern(kWidth, kHeight));
  const FitsImage image = decode(file.bytes());
  ASSERT_EQ(image.frame.width, kWidth);
  ASSERT_EQ(image.frame.height, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) EXPECT_EQ(image.frame.at(x, y), patternAt(x, y)) << x << "," << y;
  }
}

TEST(ReadFitsImage, ReadsAFileWhoseLastBlockIsNotFilledUp) {
  FitsTestFile file(16, {30, 20});
  file.pixels(pattern(30, 20));
  std::vector<std::uint8_t> bytes = file.bytes();
  bytes.resize(2880 + 30 * 20 * 2);  // header block and the data, without the fill
  const FitsImage image = decode(bytes);
  ASSERT_EQ(image.frame.pixels.size(), 600u);
  EXPECT_EQ(image.frame.at(29, 19), patternAt(29, 19));
}

TEST(ReadFitsImage, ReadsOtherPixelTypesClippedToSixteenBits) {
  struct Case {
    int bitpix;
    std::vector<double> written;
    std::vector<std::uint16_t> expected;
  };
  const std::vector<Case> cases = {
      {8, {0, 17, 200, 255}, {0, 17, 200, 255}},
      {32, {-5, 40000, 65535, 70000}, {0, 40000, 65535, 65535}},
      {-32, {-1.5, 12.0, 65535.0, 1e6}, {0, 12, 65535, 65535}},
  };
  for (const Case& c : cases) {
    FitsTestFile file(c.bitpix, {2, 2});
    file.pixels(c.written);
    const FitsImage image = decode(file.bytes());
    EXPECT_EQ(image.frame.pixels, c.expected) << "BITPIX " << c.bitpix;
  }
}

TEST(ReadFitsImage, GivesHeaderValuesByKeywordAndNothingForMissingOnes) {
  FitsTestFile file(16, {4, 3});
  file.pixels(pattern(4, 3)).number("FOCALLEN", 2000.5).number("XPIXSZ", 5.4).number("OBJCTALT", -12.25);
  file.text("INSTRUME", "CCD Simulator").text("ROWORDER", "TOP-DOWN");
  const FitsImage image = decode(file.bytes());

  EXPECT_EQ(image.key("FOCALLEN"), FitsValue{2000.5});
  EXPECT_EQ(image.key("XPIXSZ"), FitsValue{5.4});
  EXPECT_EQ(image.key("OBJCTALT"), FitsValue{-12.25});
  EXPECT_EQ(image.key("focallen"), FitsValue{2000.5}) << "keywords match without regard to case";
  EXPECT_EQ(image.key("NAXIS1"), FitsValue{4.0});
  EXPECT_EQ(image.key("INSTRUME"), FitsValue{std::string("CCD Simulator")});
  EXPECT_EQ(image.key("YPIXSZ"), std::nullopt);
  EXPECT_EQ(image.key("OBJCTAZ"), std::nullopt);
}

TEST(ReadFitsImage, RefusesWhatIsNotOneReadableImage) {
  FitsTestFile cube(16, {4, 4, 3});
  cube.pixels(std::vector<double>(48, 1.0));
  FitsTestFile whole(16, {64, 64});
  whole.pixels(pattern(64, 64));
  std::vector<std::uint8_t> truncated = whole.bytes();
  truncated.resize(truncated.size() / 2);
  std::vector<std::uint8_t> lastPixelMissing = whole.bytes();
  lastPixelMissing.resize(2880 + 64 * 64 * 2 - 1);
  const std::string text = "SIMPLE is what a FITS file starts with, but this is plain text";

  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases = {
      {"plain text", {text.begin(), text.end()}},
      {"a cube of three planes", cube.bytes()},
      {"a file cut in half", truncated},
      {"a file without its last byte of data", lastPixelMissing},
  };
  for (const auto& [what, bytes] : cases) {
    EXPECT_THROW(decode(bytes), AutomationError) << what;
  }
  EXPECT_THROW(readFitsImage(nullptr, 0), AutomationError) << "no bytes at all";
}

// Headers that state sizes the bytes cannot hold, or whose products wrap
// round 2^64, end as AutomationError and nothing else.
TEST(ReadFitsImage, RefusesSizesTheBytesDoNotHold) {
  const auto header = [](const std::string& bitpix, const std::string& width, const std::string& height) {
    return rawFits({"SIMPLE  =                    T", "BITPIX  = " + bitpix, "NAXIS   =                    2",
                    "NAXIS1  = " + width, "NAXIS2  = " + height},
                   512);
  };
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"16 x (2^63 - 1): the byte count wraps to below one block", header("16", "16", "9223372036854775807")},
      {"2^32 x 2^32 pixels", header("16", "4294967296", "4294967296")},
      {"a side of 65536 pixels", header("8", "65536", "1")},
      {"a negative side", header("16", "-16", "16")},
      {"more rows than arrived", header("16", "16", "1000")},
      {"BITPIX 24", header("24", "16", "16")},
  };
  for (const auto& c : cases) {
    try {
      decode(c.bytes);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const AutomationError&) {
    } catch (const std::exception& other) {
      ADD_FAILURE() << c.what << ": threw " << other.what();
    }
  }
  EXPECT_EQ(decode(header("16", "16", "16")).frame.pixels.size(), 256u) << "the same header, sound";
}

}  // namespace
}  // namespace nebulor::camera::indi

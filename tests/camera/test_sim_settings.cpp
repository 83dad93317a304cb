// The simulator's option text: every key, defaults, and one-line errors
// that name the offending key.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>

#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"

namespace nebulor::camera::sim {
namespace {

TEST(SimSettings, EmptyTextGivesTheDefaultNight) {
  const SimSettings parsed = parseSimSettings("");
  const SimSettings defaults;
  EXPECT_EQ(parsed.seeing, defaults.seeing);
  EXPECT_EQ(parsed.seed, defaults.seed);
  EXPECT_EQ(parsed.timing, Timing::instant);
  EXPECT_FALSE(parsed.clicks.automaticPair);
  EXPECT_TRUE(parsed.clicks.points.empty());
  EXPECT_TRUE(parsed.faults.failing.empty());
}

struct Accepted {
  const char* text;
  std::function<bool(const SimSettings&)> holds;
};

TEST(SimSettings, EveryKeyReachesItsField) {
  const std::vector<Accepted> cases{
      {"seeing=0.8", [](const SimSettings& s) { return s.seeing == 0.8; }},
      {"wavelength=650", [](const SimSettings& s) { return s.wavelength == 650; }},
      {"diameter=60,distance=200",
       [](const SimSettings& s) { return s.holeDiameter == 60 && s.holeDistance == 200; }},
      {"altitude=35.5", [](const SimSettings& s) { return s.altitude == 35.5; }},
      {"altrate=-12", [](const SimSettings& s) { return s.altitudeRate == -12; }},
      {"tiptilt=0", [](const SimSettings& s) { return s.tipTilt == 0; }},
      {"drift=2.5", [](const SimSettings& s) { return s.drift == 2.5; }},
      {"clouds=0.25", [](const SimSettings& s) { return s.clouds == 0.25; }},
      {"cloudlength=40", [](const SimSettings& s) { return s.cloudLength == 40; }},
      {"focallen=1200", [](const SimSettings& s) { return s.focalLength == 1200; }},
      {"pixelsize=9", [](const SimSettings& s) { return s.pixelSize == 9; }},
      {"width=640,height=480", [](const SimSettings& s) { return s.width == 640 && s.height == 480; }},
      {"separation=55", [](const SimSettings& s) { return s.separation == 55; }},
      {"angle=-30", [](const SimSettings& s) { return s.angle == -30; }},
      {"flux=2e5", [](const SimSettings& s) { return s.flux == 2e5; }},
      {"sky=0", [](const SimSettings& s) { return s.sky == 0; }},
      {"readnoise=4", [](const SimSettings& s) { return s.readNoise == 4; }},
      {"gain=2.5", [](const SimSettings& s) { return s.gain == 2.5; }},
      {"bias=1000", [](const SimSettings& s) { return s.bias == 1000; }},
      {"readout=0", [](const SimSettings& s) { return s.readout == 0; }},
      {"response=classical", [](const SimSettings& s) { return s.response == sky::Response::classical; }},
#ifndef NEBULOR_NO_PHASE_SCREEN
      {"layers=0.6/5/20; 0.4/25/-110",
       [](const SimSettings& s) {
         return s.layers == std::vector<sky::WindLayer>{{0.6, 5, 20}, {0.4, 25, -110}};
       }},
      {"turbulence=screen,images=gaussian",
       [](const SimSettings& s) {
         return s.turbulence == sky::Turbulence::screen && s.images == sky::Images::gaussian;
       }},
#endif
      {"timing=realtime", [](const SimSettings& s) { return s.timing == Timing::realtime; }},
      {"seed=18446744073709551615", [](const SimSettings& s) { return s.seed == 18446744073709551615ULL; }},
      {"clicks=brightest", [](const SimSettings& s) { return s.clicks.automaticPair; }},
      {"clicks=10:20+300:4",
       [](const SimSettings& s) {
         return s.clicks.points == std::vector<ClickPoint>{{10, 20}, {300, 4}};
       }},
      {"linkfail=1", [](const SimSettings& s) { return s.linkFails; }},
      {"linklost=7", [](const SimSettings& s) { return s.linkLostAfter == 7; }},
      {"telescope=raise", [](const SimSettings& s) { return s.telescope == TelescopeFault::raises; }},
      {"telescope=false", [](const SimSettings& s) { return s.telescope == TelescopeFault::readsFalse; }},
      {"missing=FOCALLEN+objctalt",
       [](const SimSettings& s) {
         return s.missingKeys == std::set<std::string>{"FOCALLEN", "OBJCTALT"};
       }},
      {"throw=expose+centroid,throwafter=3",
       [](const SimSettings& s) {
         return s.faults.failing == std::set<SimOperation>{SimOperation::expose, SimOperation::centroid} &&
                s.faults.failAfter == 3;
       }},
      {" seeing = 2 , seed = 5 ,", [](const SimSettings& s) { return s.seeing == 2 && s.seed == 5; }},
      {"seeing=1,seeing=3", [](const SimSettings& s) { return s.seeing == 3; }},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(c.holds(parseSimSettings(c.text)));
  }
}

struct Rejected {
  const char* text;
  const char* key;  // the message must name it
};

TEST(SimSettings, MalformedTextFailsWithOneLineNamingTheKey) {
  const std::vector<Rejected> cases{
      {"colour=red", "colour"},
      {"seeing", "seeing"},
      {"seeing=abc", "seeing"},
      {"seeing=1.2x", "seeing"},
      {"seeing=0", "seeing"},
      {"seeing=-1", "seeing"},
      {"seeing=nan", "seeing"},
      {"seeing=inf", "seeing"},
      {"altitude=0", "altitude"},
      {"altitude=91", "altitude"},
      {"clouds=1.5", "clouds"},
      {"clouds=-0.1", "clouds"},
      {"width=0", "width"},
      {"width=40000", "width"},
      {"width=12.5", "width"},
      {"seed=-1", "seed"},
      {"timing=fast", "timing"},
      {"images=airy", "images"},
      {"response=z-tilt", "response"},
      {"clicks=3,4", "clicks"},
      {"clicks=3:x", "clicks"},
      {"telescope=maybe", "telescope"},
      {"missing=DATE-OBS", "missing"},
      {"throw=everything", "throw"},
      {"linkfail=perhaps", "linkfail"},
      {"gain=0", "gain"},
      {"diameter=200", "distance"},
      {"throwafter=-2", "throwafter"},
      {"layers=0.6/5", "layers"},
      {"layers=1/5/20;", "layers"},
      {"layers=0/5/20", "layers"},
      {"layers=1/0/0;1/0/0;1/0/0;1/0/0;1/0/0;1/0/0;1/0/0;1/0/0;1/0/0", "layers"},
      // Physical ranges: values that would make the night meaningless or
      // overflow the renderer's pixel positions.
      {"diameter=1e-9,distance=1", "diameter"},
      {"focallen=1e300", "focallen"},
      {"pixelsize=1e-300", "pixelsize"},
      {"wavelength=1e300", "wavelength"},
      {"seeing=1e300", "seeing"},
      {"separation=1e300", "separation"},
      {"flux=1e300", "flux"},
  };
  for (const Rejected& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parseSimSettings(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const SimSettingsError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(std::string("'") + c.key + "'"), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

#ifndef NEBULOR_NO_PHASE_SCREEN
// tau0 = 0.314 r0 / V by hand: r0 = 0.103132 m at seeing=1 and 500 nm, 0.167590 m at 0.8 and 650 nm;
// V = 10 m/s, and (0.75 * 5^(5/3) + 0.25 * 20^(5/3))^(3/5) = 10.1786 m/s (the layers replace `wind`).
TEST(SimServer, TrueCoherenceTimeFollowsTheLayersWinds) {
  const std::vector<std::pair<const char*, std::optional<double>>> cases{
      {"turbulence=screen,seeing=1,wind=10", 3.23836},
      {"turbulence=screen,seeing=0.8,wavelength=650,wind=30,layers=3/5/20;1/20/110", 5.17002},
      {"turbulence=screen,layers=1/0/0;2/0/45", std::nullopt},
      {"turbulence=model,wind=10", std::nullopt},
  };
  for (const auto& [text, expected] : cases)  // -1: none
    EXPECT_NEAR(SimServer(parseSimSettings(text)).trueTau0().value_or(-1), expected.value_or(-1), 1e-5)
        << text;
}
#endif

}  // namespace
}  // namespace nebulor::camera::sim

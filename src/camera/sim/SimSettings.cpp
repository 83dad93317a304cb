#include "camera/sim/SimSettings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <utility>

#include "core/NumberParse.h"
#include "core/NumberText.h"

namespace nebulor::camera::sim {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int kMaxSimSensorSide = 32767;  // positions travel as 16-bit integers
#ifdef NEBULOR_NO_PHASE_SCREEN
constexpr bool kPhaseScreens = false;
#else
constexpr bool kPhaseScreens = true;
#endif
// The phase screen spans 64 hole diameters; the mask must fit with room to move.
constexpr int kMaxScreenBaseline = 30;
constexpr std::size_t kMaxLayers = 8;
constexpr std::array<std::string_view, 4> kHeaderKeys{"OBJCTALT", "FOCALLEN", "XPIXSZ", "YPIXSZ"};

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(trim(text.substr(start, end - start)));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string upper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return result;
}

// One key=value item being read; every complaint names the key.
class Item {
 public:
  Item(std::string_view key, std::string_view value) : key_(key), value_(value) {}

  [[noreturn]] void fail(const std::string& problem) const {
    throw SimSettingsError("Simulator setting '" + std::string(key_) + "' " + problem + ", not '" +
                           std::string(value_) + "'");
  }

  // A number in [min, max]; `minExcluded` makes the lower bound strict.
  double number(double min, double max, bool minExcluded = false) const {
    const std::optional<double> parsed = parseNumber(value_);
    if (!parsed || !std::isfinite(*parsed)) fail("needs a number");
    const double result = *parsed;
    if (result < min || result > max || (minExcluded && result == min)) {
      fail(minExcluded ? "must be above " + text(min) + " and at most " + text(max)
                       : "must be between " + text(min) + " and " + text(max));
    }
    return result;
  }

  template <typename Int>
  Int whole(Int min, Int max) const {
    const std::optional<Int> parsed = parseWhole<Int>(value_);
    if (!parsed) fail("needs a whole number");
    const Int result = *parsed;
    if (result < min || result > max)
      fail("must be between " + std::to_string(min) + " and " + std::to_string(max));
    return result;
  }

  bool flag() const {
    if (value_ == "1" || value_ == "true" || value_ == "yes") return true;
    if (value_ == "0" || value_ == "false" || value_ == "no") return false;
    fail("must be 1 or 0");
  }

  std::string_view text() const { return value_; }

  // The value of the choice the text names.
  template <typename Choice>
  Choice oneOf(std::initializer_list<std::pair<std::string_view, Choice>> choices) const {
    std::string names;
    std::size_t index = 0;
    for (const auto& [name, value] : choices) {
      if (value_ == name) return value;
      const char* separator = index == 0 ? "" : index + 1 < choices.size() ? ", " : " or ";
      names += std::string(separator) + "'" + std::string(name) + "'";
      ++index;
    }
    fail("must be " + names);
  }

 private:
  static std::string text(double value) { return doubleText(value); }

  std::string_view key_;
  std::string_view value_;
};

ClickScript clickScript(const Item& item) {
  ClickScript script;
  if (item.text() == "window") return script;
  if (item.text() == "brightest") {
    script.automaticPair = true;
    return script;
  }
  for (std::string_view point : split(item.text(), '+')) {
    const std::size_t colon = point.find(':');
    if (colon == std::string_view::npos) item.fail("needs 'window', 'brightest' or points x:y joined by '+'");
    const Item x("clicks", point.substr(0, colon));
    const Item y("clicks", point.substr(colon + 1));
    script.points.push_back(
        {x.whole<std::int16_t>(0, kMaxSimSensorSide), y.whole<std::int16_t>(0, kMaxSimSensorSide)});
  }
  return script;
}

// weight/speed/direction;...: each layer a screen of its own, so their number is bounded.
std::vector<sky::WindLayer> layerList(const Item& item) {
  std::vector<sky::WindLayer> layers;
  for (std::string_view layer : split(item.text(), ';')) {
    const std::vector<std::string_view> parts = split(layer, '/');
    if (parts.size() != 3) item.fail("needs layers weight/speed/direction separated by ';'");
    layers.push_back({Item("layers", parts[0]).number(0, 1e6, true), Item("layers", parts[1]).number(0, 100),
                      Item("layers", parts[2]).number(-360, 360)});
  }
  if (layers.size() > kMaxLayers) item.fail("takes at most " + std::to_string(kMaxLayers) + " layers");
  return layers;
}

std::set<std::string> headerKeys(const Item& item) {
  std::set<std::string> keys;
  for (std::string_view name : split(item.text(), '+')) {
    const std::string key = upper(name);
    if (std::find(kHeaderKeys.begin(), kHeaderKeys.end(), key) == kHeaderKeys.end()) {
      item.fail("takes OBJCTALT, FOCALLEN, XPIXSZ or YPIXSZ joined by '+'");
    }
    keys.insert(key);
  }
  return keys;
}

std::set<SimOperation> operations(const Item& item) {
  std::set<SimOperation> result;
  for (std::string_view name : split(item.text(), '+')) {
    const auto operation = operationNamed(name);
    if (!operation) {
      item.fail(
          "takes expose, imageready, document, prepare, fitskey, centroid, click, subframe, "
          "fullframe or sensorsize joined by '+'");
    }
    result.insert(*operation);
  }
  return result;
}

struct Key {
  std::string_view name;
  std::function<void(SimSettings&, const Item&)> apply;
};

// Ranges are physical: wide enough for any real night and instrument, narrow
// enough that no value makes the night meaningless or a pixel position
// overflow (a hole of a nanometre or a focal length of 1e300 mm would spread
// one star image over more pixels than an int can count).
const std::vector<Key>& keys() {
  static const std::vector<Key> table{
      {"seeing", [](SimSettings& s, const Item& v) { s.seeing = v.number(0, 30, true); }},
      {"wavelength", [](SimSettings& s, const Item& v) { s.wavelength = v.number(200, 3000); }},
      {"diameter", [](SimSettings& s, const Item& v) { s.holeDiameter = v.number(1, 1000); }},
      {"distance", [](SimSettings& s, const Item& v) { s.holeDistance = v.number(1, 5000); }},
      {"altitude", [](SimSettings& s, const Item& v) { s.altitude = v.number(0, 90, true); }},
      {"altrate", [](SimSettings& s, const Item& v) { s.altitudeRate = v.number(-3600, 3600); }},
      {"tiptilt", [](SimSettings& s, const Item& v) { s.tipTilt = v.number(0, 60); }},
      {"drift", [](SimSettings& s, const Item& v) { s.drift = v.number(0, 1000); }},
      {"clouds", [](SimSettings& s, const Item& v) { s.clouds = v.number(0, 1); }},
      {"cloudlength", [](SimSettings& s, const Item& v) { s.cloudLength = v.number(1, 1e6); }},
      {"turbulence",
       [](SimSettings& s, const Item& v) {
         if (v.text() == "model")
           s.turbulence = sky::Turbulence::model;
         else if (v.text() == "screen" && kPhaseScreens)
           s.turbulence = sky::Turbulence::screen;
         else
           v.fail(kPhaseScreens ? "must be 'model' or 'screen'"
                                : "must be 'model' (this build has no phase screens)");
       }},
      {"response",
       [](SimSettings& s, const Item& v) {
         s.response = v.oneOf<sky::Response>(
             {{"finder", sky::Response::finder}, {"classical", sky::Response::classical}});
       }},
      {"images",
       [](SimSettings& s, const Item& v) {
         s.images =
             v.oneOf<sky::Images>({{"fourier", sky::Images::fourier}, {"gaussian", sky::Images::gaussian}});
       }},
      {"outerscale",
       [](SimSettings& s, const Item& v) {
         s.outerScale = v.text() == "inf" ? kInfinity : v.number(0, kInfinity, true);
       }},
      {"wind", [](SimSettings& s, const Item& v) { s.wind = v.number(0, 100); }},
      {"winddir", [](SimSettings& s, const Item& v) { s.windDirection = v.number(-360, 360); }},
      {"layers", [](SimSettings& s, const Item& v) { s.layers = layerList(v); }},
      {"focallen", [](SimSettings& s, const Item& v) { s.focalLength = v.number(10, 100000); }},
      {"pixelsize", [](SimSettings& s, const Item& v) { s.pixelSize = v.number(0.5, 100); }},
      {"width", [](SimSettings& s, const Item& v) { s.width = v.whole(1, kMaxSimSensorSide); }},
      {"height", [](SimSettings& s, const Item& v) { s.height = v.whole(1, kMaxSimSensorSide); }},
      {"separation", [](SimSettings& s, const Item& v) { s.separation = v.number(0, kMaxSimSensorSide); }},
      {"angle", [](SimSettings& s, const Item& v) { s.angle = v.number(-360, 360); }},
      {"flux", [](SimSettings& s, const Item& v) { s.flux = v.number(0, 1e12); }},
      {"sky", [](SimSettings& s, const Item& v) { s.sky = v.number(0, 1e9); }},
      {"readnoise", [](SimSettings& s, const Item& v) { s.readNoise = v.number(0, 1e4); }},
      {"gain", [](SimSettings& s, const Item& v) { s.gain = v.number(0.01, 1000); }},
      {"bias", [](SimSettings& s, const Item& v) { s.bias = v.number(0, 65535); }},
      {"hotpixels", [](SimSettings& s, const Item& v) { s.hotPixels = v.whole(0, 1000000); }},
      {"cosmics", [](SimSettings& s, const Item& v) { s.cosmics = v.number(0, 1000); }},
      {"readout", [](SimSettings& s, const Item& v) { s.readout = v.number(0, 3600); }},
      {"stream", [](SimSettings& s, const Item& v) { s.stream = v.number(1, 10000); }},
      {"timing",
       [](SimSettings& s, const Item& v) {
         s.timing = v.oneOf<Timing>({{"instant", Timing::instant}, {"realtime", Timing::realtime}});
       }},
      {"seed",
       [](SimSettings& s, const Item& v) {
         s.seed = v.whole<std::uint64_t>(0, std::numeric_limits<std::uint64_t>::max());
       }},
      {"clicks", [](SimSettings& s, const Item& v) { s.clicks = clickScript(v); }},
      {"linkfail", [](SimSettings& s, const Item& v) { s.linkFails = v.flag(); }},
      {"linklost",
       [](SimSettings& s, const Item& v) { s.linkLostAfter = v.whole(0, std::numeric_limits<int>::max()); }},
      {"telescope",
       [](SimSettings& s, const Item& v) {
         if (v.text() == "ok")
           s.telescope = TelescopeFault::none;
         else if (v.text() == "raise")
           s.telescope = TelescopeFault::raises;
         else if (v.text() == "false")
           s.telescope = TelescopeFault::readsFalse;
         else
           v.fail("must be 'ok', 'raise' or 'false'");
       }},
      {"missing", [](SimSettings& s, const Item& v) { s.missingKeys = headerKeys(v); }},
      {"throw", [](SimSettings& s, const Item& v) { s.faults.failing = operations(v); }},
      {"throwafter", [](SimSettings& s,
                        const Item& v) { s.faults.failAfter = v.whole(0, std::numeric_limits<int>::max()); }},
  };
  return table;
}

}  // namespace

SimSettings parseSimSettings(std::string_view text) {
  SimSettings settings;
  if (trim(text).empty()) return settings;
  for (std::string_view pair : split(text, ',')) {
    if (pair.empty()) continue;  // a stray comma
    const std::size_t equals = pair.find('=');
    const std::string_view name = trim(pair.substr(0, equals));
    const auto key =
        std::find_if(keys().begin(), keys().end(), [name](const Key& k) { return k.name == name; });
    if (key == keys().end()) throw SimSettingsError("Unknown simulator setting '" + std::string(name) + "'");
    if (equals == std::string_view::npos) {
      throw SimSettingsError("Simulator setting '" + std::string(name) + "' needs a value (" +
                             std::string(name) + "=...)");
    }
    key->apply(settings, Item(name, trim(pair.substr(equals + 1))));
  }
  if (settings.holeDistance <= settings.holeDiameter) {
    throw SimSettingsError("Simulator setting 'distance' must exceed 'diameter': the holes would overlap");
  }
  if (settings.turbulence == sky::Turbulence::screen &&
      settings.holeDistance > kMaxScreenBaseline * settings.holeDiameter) {
    throw SimSettingsError("Simulator setting 'distance' must be at most " +
                           std::to_string(kMaxScreenBaseline) +
                           " times 'diameter' with turbulence=screen: the mask must fit on the phase screen");
  }
  return settings;
}

}  // namespace nebulor::camera::sim

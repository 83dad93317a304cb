#include "weather/SeeingWeather.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/AppPaths.h"
#include "core/StarFwhm.h"

namespace nebulor {

namespace {

constexpr const char* kSeeing = "WEATHER_SEEING";
constexpr const char* kClassical = "WEATHER_SEEING_CLASSICAL";
constexpr const char* kR0 = "WEATHER_R0";
constexpr const char* kTau0 = "WEATHER_TAU0";
constexpr const char* kAge = "WEATHER_READING_AGE";
constexpr const char* kOptionsTab = "Options";
constexpr unsigned kPollMs = 1000;
// No reading for this long: the run stopped or clouds hide the star. The
// live page says "clouds" after the same three minutes.
constexpr double kDefaultTimeout = 180;

}  // namespace

SeeingWeather::SeeingWeather() {
  setVersion(1, 0);
  setWeatherConnection(CONNECTION_NONE);
}

const char* SeeingWeather::getDefaultName() { return "Nebulor Seeing"; }

bool SeeingWeather::initProperties() {
  INDI::Weather::initProperties();
  FolderTP[0].fill("FOLDER", "Data folder", userDataFolder(std::getenv).c_str());
  FolderTP.fill(getDeviceName(), "READINGS_FOLDER", "Nebulor", kOptionsTab, IP_RW, 60, IPS_IDLE);
  TimeoutNP[0].fill("SECONDS", "No reading after (s)", "%.0f", 1, 86400, 10, kDefaultTimeout);
  TimeoutNP.fill(getDeviceName(), "READINGS_TIMEOUT", "Readings", kOptionsTab, IP_RW, 60, IPS_IDLE);

  // OK below 2 arcsec, a warning from there to 2.5 (PERC_WARN: the top 20% of
  // the OK range), alert above: an ordinary night at a good amateur site is
  // 1.5 to 2, and above 2.5 detail and focus suffer for most programmes.
  addParameter(kSeeing, "Seeing 500 nm zenith (arcsec)", 0, 2.5, 20);
  addParameter(kClassical, "Seeing classical (arcsec)", 0, 2.5, 20);
  addParameter(kR0, "r0 (cm)", 4, 1000, 0);  // 4 cm: 2.5 arcsec at 500 nm
  addParameter(kAge, "Reading age (s)", 0, kDefaultTimeout, 0);
  setCriticalParameter(kSeeing);
  // New readings are shown as they come; the period refreshes the age.
  UpdatePeriodNP[0].setValue(10);
  addDebugControl();
  return true;
}

void SeeingWeather::ISGetProperties(const char* dev) {
  INDI::Weather::ISGetProperties(dev);
  defineProperty(FolderTP);
  defineProperty(TimeoutNP);
  if (optionsLoaded_) return;
  loadConfig(true, FolderTP.getName());
  loadConfig(true, TimeoutNP.getName());
  optionsLoaded_ = true;
}

bool SeeingWeather::Connect() {
  follower_ = std::make_unique<LogFollower>(FolderTP[0].getText());
  follower_->poll();
  // The parameter list is fixed while connected: the coherence time joins
  // when the log carries it at connection.
  if (follower_->hasTau0() && !tau0Added_) {
    addParameter(kTau0, "tau0 (ms)", 2, 1000, 0);
    tau0Added_ = true;
  }
  reportProblems();
  timer_ = SetTimer(kPollMs);
  return true;
}

bool SeeingWeather::Disconnect() {
  if (timer_ >= 0) RemoveTimer(timer_);
  timer_ = -1;
  follower_.reset();
  reported_.clear();
  reportedPath_.clear();
  return true;
}

bool SeeingWeather::current() const {
  const auto& latest = follower_ ? follower_->latest() : std::nullopt;
  return latest && starFwhm(*latest) && latest->r0 &&
         std::difftime(std::time(nullptr), latest->seconds()) <= TimeoutNP[0].getValue();
}

// Each message once: the log followed when it changes, the problems when they change.
void SeeingWeather::reportProblems() {
  if (!follower_->path().empty() && follower_->path() != reportedPath_) {
    reportedPath_ = follower_->path();
    LOGF_INFO("Following %s", reportedPath_.c_str());
  }
  std::string text;
  for (const std::string& problem : follower_->problems()) text += (text.empty() ? "" : "; ") + problem;
  if (text == reported_) return;
  if (!text.empty()) {
    LOGF_WARN("%s", text.c_str());
  } else {
    LOG_INFO("The readings log reads well again");
  }
  reported_ = text;
}

void SeeingWeather::follow() {
  const bool fresh = follower_->poll();
  reportProblems();
  if (fresh || current() != shownCurrent_) checkWeatherUpdate();
}

void SeeingWeather::TimerHit() {
  if (!isConnected() || !follower_) return;
  follow();
  timer_ = SetTimer(kPollMs);
}

IPState SeeingWeather::updateWeather() {
  if (!follower_) return IPS_IDLE;
  const auto& latest = follower_->latest();
  if (latest) setParameterValue(kAge, std::difftime(std::time(nullptr), latest->seconds()));
  shownCurrent_ = current();
  if (!shownCurrent_) {
    showIdle();
    return IPS_IDLE;
  }
  setParameterValue(kSeeing, *starFwhm(*latest));
  setParameterValue(kClassical, latest->seeing);
  setParameterValue(kR0, *latest->r0);
  if (tau0Added_) setParameterValue(kTau0, latest->tau0.value_or(0));
  return IPS_OK;
}

// Idle, not Alert: an old or missing seeing says nothing about the sky's
// safety (the cloud sensor does), so it must neither close the dome nor
// read as a verdict; Idle is INDI's "no current value".
void SeeingWeather::showIdle() {
  ParametersNP.s = IPS_IDLE;
  IDSetNumber(&ParametersNP, nullptr);
  for (int i = 0; i < critialParametersLP.nlp; ++i) critialParametersL[i].s = IPS_IDLE;
  critialParametersLP.s = IPS_IDLE;
  IDSetLight(&critialParametersLP, nullptr);
}

bool SeeingWeather::ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 && FolderTP.isNameMatch(name)) {
    FolderTP.update(texts, names, n);
    FolderTP.setState(IPS_OK);
    FolderTP.apply();
    saveConfig(FolderTP);
    if (isConnected()) {
      follower_ = std::make_unique<LogFollower>(FolderTP[0].getText());
      follow();
      checkWeatherUpdate();
    }
    return true;
  }
  return INDI::Weather::ISNewText(dev, name, texts, names, n);
}

bool SeeingWeather::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) {
  if (dev == nullptr || std::strcmp(dev, getDeviceName()) != 0)
    return INDI::Weather::ISNewNumber(dev, name, values, names, n);
  if (TimeoutNP.isNameMatch(name)) {
    TimeoutNP.update(values, names, n);
    TimeoutNP.setState(IPS_OK);
    TimeoutNP.apply();
    saveConfig(TimeoutNP);
  } else if (!INDI::Weather::ISNewNumber(dev, name, values, names, n)) {
    return false;
  } else {
    saveConfig(true, name);  // a range or the update period
  }
  // The status follows at once, and stays Idle without a current reading.
  checkWeatherUpdate();
  return true;
}

bool SeeingWeather::saveConfigItems(FILE* fp) {
  INDI::Weather::saveConfigItems(fp);
  FolderTP.save(fp);
  TimeoutNP.save(fp);
  return true;
}

}  // namespace nebulor

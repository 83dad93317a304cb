#pragma once

#include <libindi/indiweather.h>

#include <memory>
#include <string>

#include "weather/LogFollower.h"

namespace nebulor {

// The INDI weather device "Nebulor Seeing": the latest reading of the
// Nebulor measuring on this machine, from the readings log of its data
// folder, as weather parameters with OK, warning and alert ranges. The seeing
// is the critical one. Without a reading for READINGS_TIMEOUT seconds the
// parameters and the status turn Idle: the values are then the last
// reading's, as old as WEATHER_READING_AGE says, and decide nothing.
class SeeingWeather : public INDI::Weather {
 public:
  SeeingWeather();

  bool initProperties() override;
  void ISGetProperties(const char* dev) override;
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) override;

 protected:
  const char* getDefaultName() override;
  bool Connect() override;
  bool Disconnect() override;
  IPState updateWeather() override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;

 private:
  void follow();
  bool current() const;
  void showIdle();
  void reportProblems();

  INDI::PropertyText FolderTP{1};
  INDI::PropertyNumber TimeoutNP{1};
  std::unique_ptr<LogFollower> follower_;
  std::string reported_;       // the problems last put in the device's messages
  std::string reportedPath_;   // the log last named there
  bool shownCurrent_ = false;  // what the parameters' state says now
  bool tau0Added_ = false;
  bool optionsLoaded_ = false;  // the saved folder and timeout, once
  int timer_ = -1;
};

}  // namespace nebulor

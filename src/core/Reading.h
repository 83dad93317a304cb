#pragma once

#include <chrono>
#include <ctime>
#include <optional>

namespace nebulor {

using WallClock = std::chrono::system_clock;

// One reduced reading, in the one shape the measurement makes it, the
// readings log keeps it, the feed publishes it and every chart, summary and
// device reads it. This is the one place to add a field: the log's row
// (measure/ReadingsLog.cpp) and its reader (measure/ReadingsReader.cpp) then
// learn its column, at the end of the header.
struct Reading {
  WallClock::time_point time;         // when it was reduced; the log keeps whole seconds
  int utcOffset = 0;                  // seconds east of UTC of the local time then
  double seeing = 0;                  // arcsec, the classical value: the history's float, logged as one
  std::optional<double> r0;           // cm, at `wavelength`; none in a log row without it
  double longStdDev = 0;              // pixels
  double transStdDev = 0;             // pixels
  std::optional<double> seeingError;  // arcsec, 1 sigma of `seeing`
  std::optional<double> best;         // arcsec, Nebulor's best estimate: lambda / r0 at the zenith
  std::optional<double> bestError;    // arcsec, its 1 sigma
  std::optional<float> bestExposure;  // s, the exposure time `best` refers to; 0: extrapolated to none
  std::optional<double> wavelength;   // micrometres, as config.ini gives it; none in older logs
  double airmass = 0;                 // mean of the accepted exposures; 0: unknown
  int exposuresUsed = 0;              // N
  int exposuresRejected = 0;          // rejected while the reading was taken
  std::optional<double> tau0;         // ms, the coherence time at the zenith, where it is known
  std::optional<double> tau0Error;    // ms, its 1 sigma
  std::optional<double> wind;         // m/s, the turbulence-weighted wind speed, where it is known
  std::optional<double> windError;    // m/s, its 1 sigma

  // The moment in whole seconds since 1970 UTC, as the log writes it.
  std::time_t seconds() const { return WallClock::to_time_t(time); }
};

}  // namespace nebulor

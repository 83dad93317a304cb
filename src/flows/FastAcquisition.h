#pragma once

#include <chrono>

namespace nebulor {

// A reading of fast acquisition spans this much frame time: a minute, as
// site monitors report, long enough for thousands of frames whose scatter
// gives the reading's error, short enough to follow the night.
inline constexpr double kFastReadingSeconds = 60;
// The window is refreshed at most this often, whatever the frame rate.
inline constexpr std::chrono::milliseconds kFastRefresh{200};
// Waiting for the next frame sleeps this long between looks.
inline constexpr std::chrono::milliseconds kFrameWait{2};

}  // namespace nebulor

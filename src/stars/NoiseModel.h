#pragma once

namespace nebulor::stars {

// What the finder needs to know of the camera to budget a star's noise. The
// sky and read noise are measured round each star; the star's own photon
// noise needs the gain, and the read noise is a floor under the measured
// background noise (a flat synthetic or clipped background measures as none).
// The defaults suit an unknown camera: one electron per count, no floor.
struct NoiseModel {
  double gain = 1.0;       // electrons per count
  double readNoise = 0.0;  // electrons RMS
};

}  // namespace nebulor::stars

#pragma once

namespace nebulor {

// The exposure-time correction as the user last chose it in the window's
// context menu, kept in the user's settings beside the night view (not in
// config.ini, whose values the classical reading needs as they are).
bool rememberedExposureCorrection();
void rememberExposureCorrection(bool on);

// Fast acquisition as last chosen there, kept the same way.
bool rememberedFastAcquisition();
void rememberFastAcquisition(bool on);

}  // namespace nebulor

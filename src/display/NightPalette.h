#pragma once

#include <QPalette>

namespace nebulor {

// Red on black for observing: no green or blue light, which would undo an
// observer's dark adaptation. Dimmer reds for frames and disabled text.
QPalette nightPalette();

// Gives every window, dialog, message box and tooltip of the program the
// night palette, or back the palette it started with. Fonts and sizes stay.
void useNightPalette(bool night);

// The night view as the user last chose it, kept in the user's settings
// (not in config.ini, which holds the instrument's values only).
bool rememberedNightView();
void rememberNightView(bool night);

}  // namespace nebulor

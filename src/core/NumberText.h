#pragma once

#include <string>

namespace nebulor {

// Shortest decimal text of a number, trailing zeros dropped, no thousands
// separators, exponent form only where the plain form cannot show the value.
// Files always use '.'; the window passes the user's decimal separator.
// -0 gives "0"; NaN gives "nan" and infinities "inf" and "-inf", the forms
// the config.ini reader recognises (and refuses as unusable).
std::string singleText(float value, char decimalPoint = '.');   // up to 7 significant digits
std::string doubleText(double value, char decimalPoint = '.');  // up to 15 significant digits

// The number rounded to a fixed count of decimals, always with a full stop:
// summaries and chart labels, whose columns line up. NaN gives "nan".
std::string fixedText(double value, int decimals);

}  // namespace nebulor

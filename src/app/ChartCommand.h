#pragma once

#include <ostream>
#include <string>

#include "app/ProgramOptions.h"

namespace nebulor {

// nebulor --chart: draws one night of a readings log to the picture the
// options name and prints the night's summary to out. Rows that cannot be
// read are skipped with one line per kind of problem on err. Exit code 0;
// 1 with the reason on err when there is nothing to draw or the picture
// cannot be written. Needs a QGuiApplication, on any platform (offscreen too).
int runChart(const ProgramOptions& options, const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace nebulor

// A readings log as a crash, a foreign program or a hand may leave it, fed
// in two pieces as the window reads a growing log: whatever the bytes, the
// readings kept are usable, the notes stay few and the night's summary is
// ordered and finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "measure/NightSummary.h"
#include "measure/ReadingsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  nebulor::ReadingsReader reader;
  reader.feed(text.substr(0, size / 3));
  reader.feed(text.substr(size / 3));
  reader.finish();
  for (const nebulor::Reading& r : reader.readings()) {
    if (!(r.seeing > 0) || !std::isfinite(r.seeing) || (r.best && !std::isfinite(*r.best))) std::abort();
  }
  if (reader.notes().size() > 3 || reader.failure().has_value() != reader.readings().empty()) std::abort();
  const nebulor::NightSummary summary = nebulor::summarizeNight(nebulor::selectNight(reader.readings(), ""));
  const nebulor::SeeingSummary& s = summary.classical;
  if (!std::isfinite(summary.hours) || summary.hours < 0 || summary.rejectedShare < 0 ||
      summary.rejectedShare > 100 || (s.readings > 0 && !(s.q1 <= s.median && s.median <= s.q3)) ||
      s.below08 > s.below10 || summary.readings != s.readings) {
    std::abort();
  }
  return 0;
}

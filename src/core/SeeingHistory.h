#pragma once

#include <cstdint>

#include "core/MonitorState.h"

namespace nebulor {

// The seeing history is a ring over slots 1..200 of fwhmHistory, and
// historyCount is the slot the next reading goes to. A count outside the
// slots (only before start-up has run) starts the ring afresh at slot 1.
inline int historyWriteSlot(std::int16_t historyCount) {
  return historyCount >= 1 && historyCount <= kHistorySlots ? historyCount : 1;
}

inline int historySlotAfter(int slot) { return slot == kHistorySlots ? 1 : slot + 1; }

// The slot of the reading written last.
inline int latestHistorySlot(std::int16_t historyCount) {
  const int next = historyWriteSlot(historyCount);
  return next == 1 ? kHistorySlots : next - 1;
}

}  // namespace nebulor

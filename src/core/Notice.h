#pragma once

#include <string>

namespace nebulor {

// Something the user should know that is no failure: the operation went on
// (the readings went to another file, say). One line or a few.
struct Notice {
  std::string text;
};

}  // namespace nebulor

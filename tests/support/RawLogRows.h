#pragma once

#include <string>
#include <vector>

namespace nebulor::testing {

// The data rows of a raw log's text (the header line left out), without CR LF.
inline std::vector<std::string> rawLogRows(const std::string& text) {
  std::vector<std::string> rows;
  std::size_t start = text.find("\r\n");
  while (start != std::string::npos && start + 2 < text.size()) {
    const std::size_t end = text.find("\r\n", start + 2);
    rows.push_back(text.substr(start + 2, end - start - 2));
    start = end;
  }
  return rows;
}

}  // namespace nebulor::testing

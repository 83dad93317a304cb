#include "camera/indi/IndiOptions.h"

#include <vector>

#include "camera/Automation.h"
#include "core/NumberParse.h"

namespace nebulor::camera::indi {

namespace {

std::vector<std::string> splitFields(const std::string& text) {
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  while (true) {
    const auto colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return fields;
    start = colon + 1;
  }
}

int parsePort(const std::string& field) {
  const std::optional<int> port = parseWhole<int>(field);
  if (!port || *port < 1 || *port > 65535) {
    throw AutomationError("INDI option: \"" + field + "\" is not a port number (1 to 65535)");
  }
  return *port;
}

}  // namespace

std::string IndiOptions::serverText() const {
  if (!socketPath.empty()) return "unix socket " + socketPath;
  return host + ":" + std::to_string(port);
}

IndiOptions parseIndiOptions(const std::string& text) {
  IndiOptions options;
  if (text.empty()) return options;

  const std::vector<std::string> fields = splitFields(text);
  std::size_t next = 0;
  if (fields[0].starts_with('/')) {
    options.socketPath = fields[next++];
  } else {
    if (!fields[next].empty()) options.host = fields[next];
    ++next;
    if (next < fields.size() && !fields[next].empty()) options.port = parsePort(fields[next]);
    ++next;
  }
  if (next < fields.size()) options.ccd = fields[next++];
  if (next < fields.size()) options.mount = fields[next++];
  if (next < fields.size()) {
    throw AutomationError("INDI option \"" + text +
                          "\" has too many fields: use HOST:PORT:CCD:MOUNT or /SOCKET:CCD:MOUNT");
  }
  return options;
}

}  // namespace nebulor::camera::indi

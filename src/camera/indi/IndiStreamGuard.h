#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Failure.h"

namespace nebulor::camera::indi {

// The bounds on what an INDI server may send in one message, checked on the
// raw bytes before libindi's parser sees them (it keeps a whole message, and
// every element of it, in memory). INDI's own messages nest three deep.
inline constexpr int kMostXmlDepth = 32;
// Any message, a BLOB included, may be this large whatever the sensor.
inline constexpr std::size_t kLeastMessageLimit = std::size_t{16} << 20;

// The largest sensor a camera may report: the largest in observatory use
// (151 megapixels) with room to spare. A server's word never takes the bound
// below further than this, nor beyond this share of the machine's memory.
inline constexpr double kMostSensorPixels = 16384.0 * 16384.0;
inline constexpr double kMostMemoryShare = 1.0 / 8;

// Bytes of memory the machine has.
std::uint64_t physicalMemory();

// The largest message allowed from a server whose camera reports a sensor
// of width x height pixels: twice a frame of 4-byte pixels with 1 MiB of
// FITS header, base64 encoded, the sensor taken as at most kMostSensorPixels
// and the whole as at most kMostMemoryShare of `memory`; never below
// kLeastMessageLimit.
std::size_t messageLimitFor(double width, double height, std::uint64_t memory = physicalMemory());

// Follows the server's byte stream element by element. A message that nests
// deeper than kMostXmlDepth or grows beyond the limit (given as the stream
// goes on: the sensor size arrives in an earlier message), or a BLOB that
// declares a size beyond it, is refused with the reason: the connection is
// then to be dropped, since the rest of the stream cannot be trusted.
class IndiStreamGuard {
 public:
  std::optional<Failure> take(std::string_view bytes, std::size_t messageLimit);

 private:
  enum class Place { text, tag, quoted };

  void endTag();

  Place place_ = Place::text;
  char quote_ = 0;
  int depth_ = 0;
  std::size_t messageSize_ = 0;  // bytes of the message so far
  std::string tag_;              // the start of the tag being read
  char last_ = 0;                // the tag's previous byte, for "/>"
  std::uint64_t declaredBlob_ = 0;
};

}  // namespace nebulor::camera::indi

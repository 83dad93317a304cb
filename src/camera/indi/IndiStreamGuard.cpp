#include "camera/indi/IndiStreamGuard.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace nebulor::camera::indi {

namespace {

constexpr std::size_t kFitsHeader = std::size_t{1} << 20;
constexpr std::size_t kTagStart = 512;  // a oneBLOB tag's attributes, INDI names being at most 64 long

std::string megabytes(std::size_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of the size attribute of a oneBLOB tag's start, its attributes
// read as XML reads them (any white space between, around the '='); 0 when
// it has none.
std::uint64_t declaredSize(std::string_view tag) {
  constexpr std::string_view kBlob = "oneBLOB";
  if (!tag.starts_with(kBlob) || tag.size() == kBlob.size() || !isXmlSpace(tag[kBlob.size()])) return 0;
  std::size_t at = kBlob.size();
  const auto skipSpace = [&] {
    while (at < tag.size() && isXmlSpace(tag[at])) ++at;
  };
  for (;;) {
    skipSpace();
    const std::size_t nameStart = at;
    while (at < tag.size() && tag[at] != '=' && !isXmlSpace(tag[at])) ++at;
    const std::string_view name = tag.substr(nameStart, at - nameStart);
    skipSpace();
    if (at >= tag.size() || tag[at] != '=') return 0;
    ++at;
    skipSpace();
    if (at >= tag.size() || (tag[at] != '"' && tag[at] != '\'')) return 0;
    const char quote = tag[at++];
    const std::size_t valueEnd = tag.find(quote, at);
    if (valueEnd == std::string_view::npos) return 0;
    if (name == "size") {
      std::uint64_t size = 0;
      for (std::size_t i = at; i < valueEnd && tag[i] >= '0' && tag[i] <= '9' && size < (1ull << 60); ++i) {
        size = size * 10 + static_cast<std::uint64_t>(tag[i] - '0');
      }
      return size;
    }
    at = valueEnd + 1;
  }
}

}  // namespace

std::uint64_t physicalMemory() {
#ifdef _SC_PHYS_PAGES
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0)
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
#endif
  return std::uint64_t{4} << 30;  // unknown: as a small observatory computer
}

std::size_t messageLimitFor(double width, double height, std::uint64_t memory) {
  if (!(width > 0 && height > 0)) return kLeastMessageLimit;
  const double pixels = std::min(width * height, kMostSensorPixels);
  const double frame = pixels * 4 + kFitsHeader;
  const double limit = std::min(2 * frame * 4 / 3, static_cast<double>(memory) * kMostMemoryShare);
  return std::max(kLeastMessageLimit, static_cast<std::size_t>(limit));
}

std::optional<Failure> IndiStreamGuard::take(std::string_view bytes, std::size_t messageLimit) {
  for (const char c : bytes) {
    if (depth_ > 0 || place_ != Place::text) ++messageSize_;
    switch (place_) {
      case Place::text:
        if (c == '<') {
          place_ = Place::tag;
          tag_.clear();
          last_ = 0;
          if (depth_ == 0) messageSize_ = 1;
        }
        break;
      case Place::quoted:
        if (c == quote_) place_ = Place::tag;
        if (tag_.size() < kTagStart) tag_ += c;
        break;
      case Place::tag:
        if (c == '"' || c == '\'') {
          place_ = Place::quoted;
          quote_ = c;
        }
        if (c == '>') {
          endTag();
        } else {
          if (tag_.size() < kTagStart) tag_ += c;
          last_ = c;
        }
        break;
    }
    if (depth_ > kMostXmlDepth) {
      return Failure{"sent XML nested more than " + std::to_string(kMostXmlDepth) + " deep"};
    }
    if (declaredBlob_ > messageLimit) {
      return Failure{"announced an image of " + megabytes(declaredBlob_) + ", more than the " +
                     megabytes(messageLimit) + " its camera's sensor can give"};
    }
    if (messageSize_ > messageLimit) {
      return Failure{"sent a message of more than " + megabytes(messageLimit) +
                     ", more than its camera's sensor can give"};
    }
  }
  return std::nullopt;
}

void IndiStreamGuard::endTag() {
  place_ = Place::text;
  if (tag_.starts_with("?") || tag_.starts_with("!")) return;  // a declaration or comment
  if (tag_.starts_with("/")) {
    depth_ = std::max(depth_ - 1, 0);
  } else if (last_ != '/') {
    ++depth_;
    declaredBlob_ = std::max(declaredBlob_, declaredSize(tag_));
  }
  if (depth_ == 0) {
    messageSize_ = 0;  // the message is complete
    declaredBlob_ = 0;
  }
}

}  // namespace nebulor::camera::indi

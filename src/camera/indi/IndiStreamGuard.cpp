#include "camera/indi/IndiStreamGuard.h"

#include <algorithm>
#include <string>

namespace nebulor::camera::indi {

namespace {

constexpr std::size_t kFitsHeader = std::size_t{1} << 20;
constexpr std::size_t kTagStart = 64;  // enough of a tag to know its name and a size attribute

std::string megabytes(std::size_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB"; }

// The value of size="..." in a oneBLOB tag's start; 0 when it has none.
std::uint64_t declaredSize(const std::string& tag) {
  if (!tag.starts_with("oneBLOB")) return 0;
  const std::size_t at = tag.find(" size=");
  if (at == std::string::npos || at + 7 >= tag.size()) return 0;
  std::uint64_t size = 0;
  for (std::size_t i = at + 7; i < tag.size() && tag[i] >= '0' && tag[i] <= '9' && size < (1ull << 60); ++i) {
    size = size * 10 + static_cast<std::uint64_t>(tag[i] - '0');
  }
  return size;
}

}  // namespace

std::size_t messageLimitFor(double width, double height) {
  if (!(width > 0 && height > 0)) return kLeastMessageLimit;
  const double frame = width * height * 4 + kFitsHeader;
  const double limit = 2 * frame * 4 / 3;
  return limit >= 1e15 ? std::size_t{1} << 50 : std::max(kLeastMessageLimit, static_cast<std::size_t>(limit));
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

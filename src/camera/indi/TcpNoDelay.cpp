#include "camera/indi/TcpNoDelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "core/NumberParse.h"

namespace nebulor::camera::indi {

namespace {

int remotePort(int descriptor) {
  int type = 0;
  socklen_t typeLength = sizeof(type);
  if (::getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM)
    return -1;
  sockaddr_storage peer{};
  socklen_t peerLength = sizeof(peer);
  if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return -1;
  if (peer.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port);
  if (peer.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port);
  return -1;
}

}  // namespace

int setTcpNoDelayTowards(int port) {
  int changed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const std::string name = entry.path().filename().string();
    const std::optional<int> descriptor = parseWhole<int>(name);
    if (!descriptor || remotePort(*descriptor) != port) continue;
    const int on = 1;
    if (::setsockopt(*descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) == 0) ++changed;
  }
  return changed;
}

}  // namespace nebulor::camera::indi

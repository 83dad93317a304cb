#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "camera/indi/TcpNoDelay.h"

namespace nebulor::camera::indi {
namespace {

// A listening socket on the loopback interface and one client connected to it.
struct LoopbackPair {
  LoopbackPair() {
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    accepted = ::accept(listener, nullptr, nullptr);
  }
  ~LoopbackPair() {
    ::close(accepted);
    ::close(client);
    ::close(listener);
  }
  int listener = -1;
  int client = -1;
  int accepted = -1;
  int port = 0;
};

int noDelay(int descriptor) {
  int value = -1;
  socklen_t length = sizeof(value);
  ::getsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &value, &length);
  return value;
}

TEST(SetTcpNoDelayTowards, ChangesOnlyTheSocketsConnectedToThatPort) {
  LoopbackPair server;
  LoopbackPair other;
  ASSERT_GE(server.accepted, 0);
  ASSERT_EQ(noDelay(server.client), 0);

  EXPECT_EQ(setTcpNoDelayTowards(server.port), 1);
  EXPECT_NE(noDelay(server.client), 0);
  EXPECT_EQ(noDelay(server.accepted), 0) << "its peer is the client's own port";
  EXPECT_EQ(noDelay(other.client), 0) << "connected elsewhere";
  EXPECT_EQ(setTcpNoDelayTowards(1), 0) << "nothing is connected to port 1";
}

}  // namespace
}  // namespace nebulor::camera::indi

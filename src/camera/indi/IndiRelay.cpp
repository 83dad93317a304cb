#include "camera/indi/IndiRelay.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace nebulor::camera::indi {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr int kStopPollMs = 50;
constexpr std::size_t kMostDescriptors = 16;  // per read: indiserver sends one per image

sockaddr_un abstractAddress(const std::string& name, socklen_t& length) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  name.copy(address.sun_path + 1, sizeof(address.sun_path) - 2);  // a leading zero byte: abstract
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return address;
}

// A connected socket, or -1. The send timeout bounds connect() too.
int connectWithin(int family, const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{static_cast<time_t>(timeout.count() / 1000),
                static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (::connect(fd, address, length) == 0) {
    const timeval none{};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
    return fd;
  }
  ::close(fd);
  return -1;
}

int connectToServer(const IndiOptions& server, std::chrono::milliseconds timeout) {
  if (!server.socketPath.empty()) {
    socklen_t length = 0;
    const sockaddr_un address = abstractAddress(server.socketPath, length);
    return connectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length, timeout);
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(server.host.c_str(), std::to_string(server.port).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (const addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
    fd = connectWithin(at->ai_family, at->ai_addr, at->ai_addrlen, timeout);
  }
  ::freeaddrinfo(found);
  return fd;
}

bool sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

// What one read from the server brought: bytes and, over a local socket,
// the descriptors of the images indiserver shares with its local clients.
struct Received {
  ssize_t count = 0;
  std::vector<int> descriptors;
};

Received receive(int fd, std::string& buffer) {
  alignas(cmsghdr) char control[CMSG_SPACE(kMostDescriptors * sizeof(int))];
  iovec data{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  Received received;
  received.count = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  for (cmsghdr* entry = CMSG_FIRSTHDR(&message); entry != nullptr; entry = CMSG_NXTHDR(&message, entry)) {
    if (entry->cmsg_level != SOL_SOCKET || entry->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (entry->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    const auto* first = reinterpret_cast<const int*>(CMSG_DATA(entry));
    received.descriptors.insert(received.descriptors.end(), first, first + count);
  }
  return received;
}

// The descriptors go with the first of the bytes they came with, so libindi
// pairs them with the same message.
bool pass(int fd, const char* data, std::size_t size, const std::vector<int>& descriptors) {
  if (descriptors.empty()) return sendAll(fd, data, size);
  alignas(cmsghdr) char control[CMSG_SPACE(kMostDescriptors * sizeof(int))] = {};
  iovec bytes{const_cast<char*>(data), size};
  msghdr message{};
  message.msg_iov = &bytes;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = CMSG_SPACE(descriptors.size() * sizeof(int));
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(descriptors.size() * sizeof(int));
  std::copy(descriptors.begin(), descriptors.end(), reinterpret_cast<int*>(CMSG_DATA(header)));
  const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  return sent > 0 && sendAll(fd, data + sent, size - static_cast<std::size_t>(sent));
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

IndiRelay::IndiRelay(std::function<std::size_t()> messageLimit,
                     std::function<void(const std::string&)> refused)
    : messageLimit_(std::move(messageLimit)), refused_(std::move(refused)) {}

IndiRelay::~IndiRelay() { close(); }

std::optional<std::string> IndiRelay::open(const IndiOptions& server, std::chrono::milliseconds timeout) {
  close();
  server_ = connectToServer(server, timeout);
  if (server_ < 0) return std::nullopt;
  static std::atomic<int> count{0};
  const std::string name = "nebulor-relay-" + std::to_string(::getpid()) + "-" + std::to_string(++count);
  listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  socklen_t length = 0;
  const sockaddr_un address = abstractAddress(name, length);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 1) != 0) {
    close();
    return std::nullopt;
  }
  return "localhost:" + name;
}

void IndiRelay::start() {
  stopping_ = false;
  thread_ = std::thread([this] { relay(); });
}

void IndiRelay::close() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  closeFd(listener_);
  closeFd(server_);
}

// Until either side ends: the client's requests pass as they are, the
// server's bytes only through the guard.
void IndiRelay::relay() {
  pollfd waiting{listener_, POLLIN, 0};
  while (!stopping_ && ::poll(&waiting, 1, kStopPollMs) == 0) {
  }
  int client = stopping_ ? -1 : ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  closeFd(listener_);
  IndiStreamGuard guard;
  std::string buffer(kChunk, '\0');
  while (!stopping_ && client >= 0) {
    pollfd ends[2] = {{server_, POLLIN, 0}, {client, POLLIN, 0}};
    if (::poll(ends, 2, kStopPollMs) <= 0) continue;
    if (ends[0].revents != 0) {
      const Received received = receive(server_, buffer);
      const std::string_view bytes(buffer.data(),
                                   static_cast<std::size_t>(std::max<ssize_t>(received.count, 0)));
      const std::optional<Failure> refusal = guard.take(bytes, messageLimit_());
      if (refusal) refused_(refusal->reason);
      const bool passed =
          !refusal && !bytes.empty() && pass(client, bytes.data(), bytes.size(), received.descriptors);
      for (const int descriptor : received.descriptors) ::close(descriptor);  // libindi holds its own copies
      if (!passed) break;
    }
    if (ends[1].revents != 0) {
      const ssize_t count = ::recv(client, buffer.data(), buffer.size(), 0);
      if (count <= 0 || !sendAll(server_, buffer.data(), static_cast<std::size_t>(count))) break;
    }
  }
  closeFd(client);
  closeFd(server_);
}

}  // namespace nebulor::camera::indi

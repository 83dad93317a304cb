#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <set>
#include <string>

namespace nebulor::testing {

// A TCP port on the loopback that nothing listens on just now.
inline int freeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// An Alpaca client as the ASCOM Alpaca API reference describes one, over
// plain sockets on the loopback: discovery by UDP, then one HTTP/1.1
// request per connection (GET with a query, PUT with a form body). It
// connects from `from`, any loopback address on Linux.
class AlpacaClient {
 public:
  struct Reply {
    int status = 0;    // HTTP
    std::string body;  // as sent
    QJsonObject json;  // the body read as JSON, when it is
  };

  explicit AlpacaClient(int port, const char* from = "127.0.0.1") : port_(port), from_(address(from, 0)) {}

  // The AlpacaPorts of the servers answering "alpacadiscovery1" on 32227 of
  // `to`. Servers sharing the port each get some of the queries (the system
  // spreads them by sender), so it asks `tries` times from fresh sockets.
  static std::set<int> discover(int tries, const char* to = "127.0.0.1") {
    std::set<int> ports;
    for (int i = 0; i < tries; ++i) {
      const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      const timeval wait{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
      const sockaddr_in query = address(to, 32227);
      ::sendto(fd, "alpacadiscovery1", 16, 0, reinterpret_cast<const sockaddr*>(&query), sizeof query);
      char answer[256] = {};
      const ssize_t got = ::recv(fd, answer, sizeof answer - 1, 0);
      ::close(fd);
      if (got > 0) ports.insert(QJsonDocument::fromJson(answer).object()["AlpacaPort"].toInt());
    }
    return ports;
  }

  Reply get(const std::string& path, const std::string& query = "") const {
    return exchange("GET " + path + (query.empty() ? "" : "?" + query) + " HTTP/1.1\r\nHost: localhost\r\n" +
                    "Connection: close\r\n\r\n");
  }
  Reply put(const std::string& path, const std::string& form) const {
    return exchange("PUT " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" +
                    "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                    std::to_string(form.size()) + "\r\n\r\n" + form);
  }
  // Bytes as given, for requests no client should send; the reply as far as it came.
  Reply raw(const std::string& bytes) const { return exchange(bytes); }

  int connection() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval wait{15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const sockaddr_in to = address("127.0.0.1", port_);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from_), sizeof from_) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  // The reply on an open connection, read until the server closes it or
  // has sent its Content-Length.
  static Reply receive(int fd) {
    std::string data;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
      data.append(chunk, static_cast<std::size_t>(got));
      const std::size_t end = data.find("\r\n\r\n");
      const std::size_t length = data.find("Content-Length: ");
      if (end != std::string::npos && length != std::string::npos &&
          data.size() >= end + 4 + std::stoul(data.substr(length + 16))) {
        break;
      }
    }
    Reply reply;
    if (data.rfind("HTTP/1.1 ", 0) == 0) reply.status = std::stoi(data.substr(9, 3));
    const std::size_t end = data.find("\r\n\r\n");
    reply.body = end == std::string::npos ? "" : data.substr(end + 4);
    reply.json = QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
    return reply;
  }

 private:
  static sockaddr_in address(const char* ipv4, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, ipv4, &address.sin_addr);
    return address;
  }

  Reply exchange(const std::string& request) const {
    const int fd = connection();
    if (fd < 0) return {};
    for (std::size_t sent = 0; sent < request.size();) {
      const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // refused part-way: its answer may still be there
      sent += static_cast<std::size_t>(n);
    }
    Reply reply = receive(fd);
    ::close(fd);
    return reply;
  }

  int port_;
  sockaddr_in from_;
};

}  // namespace nebulor::testing

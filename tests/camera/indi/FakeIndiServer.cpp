#include "FakeIndiServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace nebulor::testing {

namespace {

std::string base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const std::uint32_t group =
        bytes[i] << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
    text += kDigits[group >> 18 & 63];
    text += kDigits[group >> 12 & 63];
    text += left > 1 ? kDigits[group >> 6 & 63] : '=';
    text += left > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

// Full precision, so 1e10 arrives as 1e10.
std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool sendAll(int socket, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t count = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return false;
    sent += static_cast<std::size_t>(count);
  }
  return true;
}

}  // namespace

FakeIndiServer::FakeIndiServer(double sensorWidth, double sensorHeight, std::vector<std::uint8_t> image,
                               Flood flood)
    : flood_(flood) {
  const std::string device = std::string("device=\"") + kDevice + "\"";
  const auto numbers = [&](const char* name, const std::vector<std::pair<const char*, double>>& values) {
    std::string text = "<defNumberVector " + device + " name=\"" + name + "\" state=\"Idle\" perm=\"rw\">\n";
    for (const auto& [element, value] : values) {
      text += std::string("<defNumber name=\"") + element +
              "\" format=\"%.0f\" min=\"0\" max=\"0\" step=\"0\">" + number(value) + "</defNumber>\n";
    }
    return text + "</defNumberVector>\n";
  };
  definitions_ =
      "<defTextVector " + device + " name=\"DRIVER_INFO\" state=\"Idle\" perm=\"ro\">\n" +
      "<defText name=\"DRIVER_INTERFACE\">2</defText>\n</defTextVector>\n" + "<defSwitchVector " + device +
      " name=\"CONNECTION\" state=\"Ok\" perm=\"rw\" rule=\"OneOfMany\">\n" +
      "<defSwitch name=\"CONNECT\">On</defSwitch>\n<defSwitch name=\"DISCONNECT\">Off</defSwitch>\n" +
      "</defSwitchVector>\n" +
      numbers("CCD_INFO", {{"CCD_MAX_X", sensorWidth}, {"CCD_MAX_Y", sensorHeight}}) +
      numbers("CCD_FRAME", {{"X", 0}, {"Y", 0}, {"WIDTH", sensorWidth}, {"HEIGHT", sensorHeight}}) +
      numbers("CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", 0}}) + "<defBLOBVector " + device +
      " name=\"CCD1\" state=\"Idle\" perm=\"ro\">\n<defBLOB name=\"CCD1\"/>\n</defBLOBVector>\n";
  imageMessage_ = "<setBLOBVector " + device +
                  " name=\"CCD1\" state=\"Ok\">\n<oneBLOB name=\"CCD1\" size=\"" +
                  std::to_string(image.size()) + "\" format=\".fits\">\n" + base64(image) +
                  "\n</oneBLOB>\n</setBLOBVector>\n";

  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listener_ >= 0) ::close(listener_);
    throw std::runtime_error("the fake INDI server found no port");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

FakeIndiServer::~FakeIndiServer() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

// Clients one after the other; every wait is short, so a stop is seen soon.
void FakeIndiServer::serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 20) <= 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serveClient(client);
    ::close(client);
  }
}

// Answers getProperties with the device and every exposure request with the
// image; everything else the client says is taken silently.
void FakeIndiServer::serveClient(int client) {
  std::string heard;
  std::size_t looked = 0;
  while (!stopping_) {
    pollfd waiting{client, POLLIN, 0};
    if (::poll(&waiting, 1, 20) <= 0) continue;
    char buffer[4096];
    const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
    if (count <= 0) return;
    heard.append(buffer, static_cast<std::size_t>(count));
    for (;;) {
      const std::size_t request = heard.find('<', looked);
      const std::size_t end = heard.find('>', request);
      if (request == std::string::npos || end == std::string::npos) break;
      const std::string tag = heard.substr(request, end - request);
      looked = end;
      if (tag.starts_with("<getProperties") && !sendAll(client, definitions_)) return;
      if (tag.starts_with("<newNumberVector") && tag.find("CCD_EXPOSURE") != std::string::npos) {
        if (flood_ != Flood::none) return sendFlood(client);
        if (!sendAll(client, imageMessage_)) return;
      }
    }
  }
}

void FakeIndiServer::sendFlood(int client) {
  const std::string blob = std::string("<setBLOBVector device=\"") + kDevice +
                           "\" name=\"CCD1\" state=\"Ok\">" +
                           "<oneBLOB name=\"CCD1\" format=\".fits\" size=\"";
  const std::string start = flood_ == Flood::nestedXml       ? ""
                            : flood_ == Flood::announcedBlob ? blob + "500000000\">"
                                                             : blob + "1000\">";
  std::string chunk;
  for (int i = 0; i < 4096; ++i) chunk += flood_ == Flood::nestedXml ? "<a>" : "QUFB";
  if (!sendAll(client, start)) return;
  while (floodSent_ < 500'000'000 && !stopping_ && sendAll(client, chunk)) floodSent_ += chunk.size();
}

}  // namespace nebulor::testing

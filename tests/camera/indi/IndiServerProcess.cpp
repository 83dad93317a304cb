#include "IndiServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/TempFolder.h"

extern char** environ;

namespace nebulor::testing {

namespace {

using Clock = std::chrono::steady_clock;

int freePort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (probe < 0 || ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free TCP port");
  }
  ::close(probe);
  return ntohs(address.sin_port);
}

bool accepting(int port) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(probe);
  return open;
}

// indiserver's local socket lives in the abstract namespace (a leading zero byte).
bool accepting(const std::string& socketPath) {
  const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path + 1, sizeof(address.sun_path) - 2);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + socketPath.size());
  const bool open = ::connect(probe, reinterpret_cast<sockaddr*>(&address), length) == 0;
  ::close(probe);
  return open;
}

// Runs a program to its end and returns what it wrote to standard output.
std::string run(const std::vector<std::string>& command) {
  std::string line;
  for (const auto& word : command) line += "'" + word + "' ";
  FILE* pipe = ::popen((line + "2>/dev/null").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command.front());
  std::string output;
  std::array<char, 4096> buffer{};
  while (std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe))
    output.append(buffer.data(), read);
  const int status = ::pclose(pipe);
  if (status != 0) throw std::runtime_error(line + "failed: " + output);
  return output;
}

// Reaps every child in the group; true when none is left.
bool reapGroup(pid_t group) {
  while (true) {
    const pid_t done = ::waitpid(-group, nullptr, WNOHANG);
    if (done > 0) continue;
    return done < 0 && errno == ECHILD;
  }
}

}  // namespace

IndiServerProcess::IndiServerProcess(std::vector<std::string> drivers) {
  // Drivers orphaned by a killed server become our children, so we can reap them.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);

  home_ = freshTempFolder("nebulor-indi");
  port_ = freePort();
  socketPath_ = "/nebulor-test-" + std::to_string(::getpid()) + "-" + std::to_string(port_);

  std::vector<std::string> arguments = {"indiserver", "-p", std::to_string(port_), "-u", socketPath_,
                                        "-r",         "0"};
  arguments.insert(arguments.end(), drivers.begin(), drivers.end());
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment = {"HOME=" + home_.string()};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::string_view(*variable).starts_with("HOME=")) continue;
    environment.emplace_back(*variable);
  }
  std::vector<char*> envp;
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const std::string log = (home_ / "indiserver.log").string();
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // The server dies with the test, even when the test crashes or is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the test ended before the line above
    ::setpgid(0, 0);                          // its own group, which stop() ends as a whole
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output >= 0) {
      ::dup2(output, STDOUT_FILENO);
      ::dup2(output, STDERR_FILENO);
    }
    ::execvpe("indiserver", argv.data(), envp.data());
    ::_exit(127);
  }
  if (pid_ < 0) {
    std::filesystem::remove_all(home_);
    throw std::runtime_error("cannot start indiserver");
  }
  ::setpgid(pid_, pid_);  // also here, so stop() finds the group whichever runs first

  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!accepting(port_) || !accepting(socketPath_)) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      std::filesystem::remove_all(home_);
      throw std::runtime_error("cannot start indiserver (is Debian's indi-bin installed?)");
    }
    if (Clock::now() > deadline) {
      stop();
      throw std::runtime_error("indiserver did not start listening");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

IndiServerProcess::~IndiServerProcess() { stop(); }

std::string IndiServerProcess::tcpOption(const std::string& devices) const {
  return "localhost:" + std::to_string(port_) + (devices.empty() ? "" : ":" + devices);
}

std::string IndiServerProcess::socketOption(const std::string& devices) const {
  return socketPath_ + (devices.empty() ? "" : ":" + devices);
}

void IndiServerProcess::killServer() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void IndiServerProcess::setProperty(const std::string& assignment) const {
  run({"indi_setprop", "-p", std::to_string(port_), "-t", "5", assignment});
}

std::string IndiServerProcess::getProperty(const std::string& element) const {
  std::string value = run({"indi_getprop", "-p", std::to_string(port_), "-t", "5", "-1", element});
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return value;
}

void IndiServerProcess::stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!reapGroup(pid_) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ::kill(-pid_, SIGKILL);
  while (!reapGroup(pid_) && Clock::now() < deadline + std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
}

}  // namespace nebulor::testing

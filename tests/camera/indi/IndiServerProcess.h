#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace nebulor::testing {

// Debian's indiserver with the given drivers, started for one test on a
// free TCP port and an abstract unix socket of its own, with HOME in a fresh
// temporary folder (the drivers save their settings there). The destructor
// stops the server and its drivers and reaps them all; a test that crashes
// or is killed takes the server with it (PR_SET_PDEATHSIG), and its drivers
// end when their server does.
class IndiServerProcess {
 public:
  explicit IndiServerProcess(std::vector<std::string> drivers = {"indi_simulator_ccd",
                                                                 "indi_simulator_telescope"});
  ~IndiServerProcess();
  IndiServerProcess(const IndiServerProcess&) = delete;
  IndiServerProcess& operator=(const IndiServerProcess&) = delete;

  int port() const { return port_; }
  const std::string& socketPath() const { return socketPath_; }
  const std::filesystem::path& home() const { return home_; }

  // The text after "indi:" that reaches this server by TCP or by its socket.
  std::string tcpOption(const std::string& devices = "") const;
  std::string socketOption(const std::string& devices = "") const;

  // Kills indiserver alone, as a crash would; its drivers see their input
  // close and exit.
  void killServer();

  // Debian's indi_setprop / indi_getprop against this server ("Device.PROPERTY.ELEMENT").
  void setProperty(const std::string& assignment) const;
  std::string getProperty(const std::string& element) const;

 private:
  void stop();

  std::filesystem::path home_;
  int port_ = 0;
  std::string socketPath_;
  pid_t pid_ = -1;  // also the process group of the server and its drivers
};

}  // namespace nebulor::testing

#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace nebulor::testing {

// The nebulor executable run as a user runs it, from a copy in `folder` (so
// that config.ini and the logs land there, and its user settings too, never
// the tester's own), without a display (unless the
// given NAME=value settings name one), its standard
// output and error in files of that folder. The program dies with the test,
// even if the test crashes.
class ProgramProcess {
 public:
  ProgramProcess(const std::filesystem::path& executable, const std::filesystem::path& folder,
                 std::vector<std::string> args, const std::vector<std::string>& environment = {})
      : folder_(folder) {
    const std::filesystem::path copy = folder / "nebulor";
    std::filesystem::copy_file(executable, copy, std::filesystem::copy_options::overwrite_existing);
    args.insert(args.begin(), copy.string());
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("cannot fork");
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      redirect(STDOUT_FILENO, folder / "stdout.txt");
      redirect(STDERR_FILENO, folder / "stderr.txt");
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::setenv("XDG_CONFIG_HOME", (folder / "settings").c_str(), 1);
      for (const std::string& setting : environment) {
        const std::size_t equals = setting.find('=');
        ::setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
      }
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv.front(), argv.data());
      ::_exit(127);
    }
  }
  ~ProgramProcess() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  void signal(int number) const { ::kill(pid_, number); }
  pid_t pid() const { return pid_; }

  // The exit code once the program has ended within `limit`; nothing if it
  // has not (or ended on a signal).
  std::optional<int> wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!WIFEXITED(*status_)) return std::nullopt;
    return WEXITSTATUS(*status_);
  }

  // Waits until the program's standard error holds `text`; false after `limit`.
  bool waitForError(const std::string& text, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (error().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::string output() const { return read("stdout.txt"); }
  std::string error() const { return read("stderr.txt"); }
  std::string read(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  static void redirect(int stream, const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) ::dup2(fd, stream);
  }

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace nebulor::testing

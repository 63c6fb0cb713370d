#pragma once

// The built halvaris-decode started as a real child process (POSIX): its standard streams, extra
// open descriptors and resource limits chosen by the test, real signals sent to it, its exit
// status and peak memory read back.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace halvaris::test_support {

// How the child is started: ChildSetup({"-q", "in.dif", "out.y4m"}).Input(pipeEnd).
struct ChildSetup {
  explicit ChildSetup(std::vector<std::string> words) : arguments(std::move(words)) {}
  ChildSetup& Input(int descriptor) {
    input = descriptor;
    return *this;
  }
  ChildSetup& Output(int descriptor) {
    output = descriptor;
    return *this;
  }
  // Descriptor `here` becomes descriptor `there` of the child.
  ChildSetup& Pass(int here, int there) {
    passed.emplace_back(here, there);
    return *this;
  }
  ChildSetup& Limit(int resource, rlim_t limit) {
    limits.emplace_back(resource, limit);
    return *this;
  }
  // Started with `signal` ignored, as nohup or a parent that ignores it would start it.
  ChildSetup& Ignore(int signal) {
    ignored.push_back(signal);
    return *this;
  }

  std::vector<std::string> arguments;  // without the program
  int input = -1;                      // standard input; -1: /dev/null
  int output = -1;                     // standard output; -1: /dev/null
  std::vector<std::pair<int, int>> passed;
  std::vector<std::pair<int, rlim_t>> limits;  // soft and hard limit alike
  std::vector<int> ignored;
};

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const ChildSetup& setup) {
    int messages[2];
    if (pipe2(messages, O_CLOEXEC) != 0) return;
    std::vector<std::string> words = {program};
    words.insert(words.end(), setup.arguments.begin(), setup.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // The child: default signal handling, nothing blocked, as a shell would start it.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
      for (int signal : setup.ignored) std::signal(signal, SIG_IGN);
      const int null = open("/dev/null", O_RDWR);
      dup2(setup.input >= 0 ? setup.input : null, 0);
      dup2(setup.output >= 0 ? setup.output : null, 1);
      dup2(messages[1], 2);
      for (const auto& [here, there] : setup.passed) {
        if (here == there) {
          fcntl(here, F_SETFD, 0);  // kept open across exec
        } else {
          dup2(here, there);
        }
      }
      for (const auto& [resource, limit] : setup.limits) {
        const rlimit value{limit, limit};
        setrlimit(resource, &value);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(messages[1]);
    messages_ = messages[0];
    fcntl(messages_, F_SETFL, O_NONBLOCK);
  }

  ~ChildProcess() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      Wait(5);
    }
    if (messages_ >= 0) close(messages_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signal) { kill(pid_, signal); }

  // Waits up to `seconds` for the child to end; false if it is still running.
  bool Wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ended_) {
      Drain();
      const pid_t ended = wait4(pid_, &status_, WNOHANG, &usage_);
      if (ended == pid_) {
        ended_ = true;
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Drain();
    return true;
  }

  bool ExitedWith(int code) const {
    return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
  }
  bool KilledBy(int signal) const {
    return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == signal;
  }
  // What it printed on standard error so far.
  const std::string& Messages() {
    Drain();
    return text_;
  }
  long PeakKilobytes() const { return usage_.ru_maxrss; }
  std::string Status() const {
    if (!ended_) return "still running";
    if (WIFSIGNALED(status_)) return std::string("killed by ") + strsignal(WTERMSIG(status_));
    return "exit " + std::to_string(WEXITSTATUS(status_));
  }

 private:
  void Drain() {
    char buffer[4096];
    ssize_t got = 0;
    while (messages_ >= 0 && (got = read(messages_, buffer, sizeof buffer)) > 0) {
      text_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  pid_t pid_ = -1;
  int messages_ = -1;
  bool ended_ = false;
  int status_ = 0;
  rusage usage_{};
  std::string text_;
};

}  // namespace halvaris::test_support

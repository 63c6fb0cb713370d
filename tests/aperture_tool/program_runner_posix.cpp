#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "program_runner.h"

namespace halvaris::aperture::testing {
namespace {

constexpr uid_t kNobody = 65534;

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  int Read() const { return ends_[0]; }
  int Write() const { return ends_[1]; }
  void CloseRead() { Close(ends_[0]); }
  void CloseWrite() { Close(ends_[1]); }

 private:
  static void Close(int& end) {
    if (end >= 0) close(end);
    end = -1;
  }
  int ends_[2] = {-1, -1};
};

// A copy of the program in a folder every user may enter, for runs as another user: the build
// folder may lie under a folder only its owner can reach.
class PublicCopy {
 public:
  PublicCopy() {
    char folder[] = "/tmp/tapwright-program-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = folder;
    namespace fs = std::filesystem;
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    program_ = folder_ + "/Tapwright";
    fs::copy_file(TAPWRIGHT_PROGRAM, program_);
    fs::permissions(program_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  }
  PublicCopy(const PublicCopy&) = delete;
  PublicCopy& operator=(const PublicCopy&) = delete;
  ~PublicCopy() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& Program() const { return program_; }

 private:
  std::string folder_;
  std::string program_;
};

ProgramRun Run(const std::vector<std::string>& arguments, const std::string& input,
               bool unprivileged) {
  // The program may end before it has read all its input.
  signal(SIGPIPE, SIG_IGN);
  std::unique_ptr<PublicCopy> copy;
  if (unprivileged && geteuid() == 0) copy = std::make_unique<PublicCopy>();
  std::vector<std::string> argvStrings{copy ? copy->Program() : std::string(TAPWRIGHT_PROGRAM)};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argvStrings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  Pipe toChild;
  Pipe fromChild;
  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    dup2(toChild.Read(), STDIN_FILENO);
    dup2(fromChild.Write(), STDOUT_FILENO);
    dup2(fromChild.Write(), STDERR_FILENO);
    if (unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  toChild.CloseRead();
  fromChild.CloseWrite();
  std::size_t sent = 0;
  while (sent < input.size()) {
    ssize_t written = write(toChild.Write(), input.data() + sent, input.size() - sent);
    if (written <= 0) break;
    sent += static_cast<std::size_t>(written);
  }
  toChild.CloseWrite();

  ProgramRun run;
  char buffer[4096];
  for (;;) {
    ssize_t got = read(fromChild.Read(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

ProgramRun RunTapwrightProgram(const std::vector<std::string>& arguments,
                               const std::string& input) {
  return Run(arguments, input, false);
}

ProgramRun RunTapwrightProgramUnprivileged(const std::vector<std::string>& arguments,
                                           const std::string& input) {
  return Run(arguments, input, true);
}

}  // namespace halvaris::aperture::testing

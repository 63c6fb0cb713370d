#include "interruption.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace halvaris::decode_tool::interruption {

namespace {

// Everything the handler reads lives in fixed storage, changed only through atomics: the handler
// may run on any thread at any moment, and may only call async-signal-safe functions.
constexpr std::size_t kTextBytes = 1024;
constexpr std::size_t kPathBytes = 4096;
constexpr int kPendingSlots = 4;

std::atomic<int> interrupted{0};
std::atomic<bool> committing{false};
#ifndef _WIN32
std::atomic<int> messagesDescriptor{2};
std::atomic<bool> messagesOnTerminal{false};
#endif

// The report line, double-buffered: the buffer not published is written, then published. The
// same for what becomes of a second output (the sound), added to the line when not empty.
char reportTexts[2][kTextBytes] = {"interrupted", ""};
std::atomic<int> publishedReport{0};
char companionTexts[2][kTextBytes] = {"", ""};
std::atomic<int> publishedCompanion{0};
std::atomic<long long> keptPictures{-1};  // negative: the report does not count pictures

// Pending files. A slot is free (0), being filled (1), pending (2) or taken by the handler (3).
struct PendingSlot {
  std::atomic<int> state{0};
  char path[kPathBytes];
};
PendingSlot pending[kPendingSlots];

// Writes `text` into the buffer of `texts` the handler does not read, then has it read that one.
void Publish(const std::string& text, char (&texts)[2][kTextBytes], std::atomic<int>& published) {
  const int next = 1 - published.load();
  const std::size_t length = std::min(text.size(), kTextBytes - 1);
  std::memcpy(texts[next], text.data(), length);
  texts[next][length] = '\0';
  published.store(next);
}

void Append(char* line, std::size_t& length, const char* text) {
  while (*text != '\0' && length + 1 < kTextBytes + 64) line[length++] = *text++;
}

void AppendNumber(char* line, std::size_t& length, long long number) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0 && count < 23);
  while (count > 0 && length + 1 < kTextBytes + 64) line[length++] = digits[--count];
}

// The report as one line, without the program's name; async-signal-safe.
std::size_t ComposeReport(char* line) {
  std::size_t length = 0;
  const long long kept = keptPictures.load();
  if (kept >= 0) {
    Append(line, length, "interrupted; ");
    AppendNumber(line, length, kept);
    Append(line, length, kept == 1 ? " complete picture was kept" : " complete pictures were kept");
  } else {
    Append(line, length, reportTexts[publishedReport.load()]);
  }
  const char* companion = companionTexts[publishedCompanion.load()];
  if (*companion != '\0') {
    Append(line, length, "; ");
    Append(line, length, companion);
  }
  line[length] = '\0';
  return length;
}

#ifndef _WIN32

// Every signal whose default action ends the process from outside it: the user (SIGINT, SIGQUIT),
// the system or other programs (SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, timers), a reader that closed
// the output pipe (SIGPIPE) and resource limits (SIGXCPU, SIGXFSZ). Faults (SIGSEGV, SIGABRT...)
// mean the program is broken, and are left to their default action.
const int kSignals[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM,
    SIGUSR1,   SIGUSR2, SIGPROF, SIGVTALRM, SIGXCPU, SIGXFSZ,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

void WriteAll(int descriptor, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t written = write(descriptor, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

extern "C" void OnInterrupt(int signal) {
  if (interrupted.exchange(1) == 0) {
    // A rename that has begun on another thread is let finish: the file is then in place.
    while (committing.load()) {
    }
    for (PendingSlot& slot : pending) {
      int expected = 2;
      if (slot.state.compare_exchange_strong(expected, 3)) unlink(slot.path);
    }
    char line[kTextBytes + 128];
    std::size_t length = 0;
    if (messagesOnTerminal.load()) line[length++] = '\n';  // after a progress line or ^C
    const char kName[] = "halvaris-decode: error: ";
    std::memcpy(line + length, kName, sizeof kName - 1);
    length += sizeof kName - 1;
    length += ComposeReport(line + length);
    line[length++] = '\n';
    WriteAll(messagesDescriptor.load(), line, length);
  }
  // Die of the signal: it is blocked while this handler runs and is delivered, with the default
  // action, as soon as the handler returns.
  struct sigaction fallback;
  std::memset(&fallback, 0, sizeof fallback);
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

// Holds the handler off the calling thread.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kSignals) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

#else

extern "C" void OnInterrupt(int signal) {
  interrupted.store(1);
  std::signal(signal, OnInterrupt);  // the runtime resets the handler before calling it
}

// Console control handlers run on a thread of their own and only set the flag.
struct SignalsHeld {
  SignalsHeld() {}
};

#endif

}  // namespace

void CatchInterrupts(std::FILE* messages) {
#ifndef _WIN32
  messagesDescriptor.store(fileno(messages));
  messagesOnTerminal.store(isatty(fileno(messages)) != 0);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kSignals) {
    // Only signals left to their default action: one ignored at start (nohup) stays ignored, and
    // one that something else in the process handles (a profiler's SIGPROF) stays theirs.
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) != 0) continue;
    if ((previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL) continue;
    sigaction(signal, &action, nullptr);
  }
#else
  (void)messages;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGBREAK, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#endif
}

bool InterruptRequested() {
  return interrupted.load() != 0;
}

void SetReport(const std::string& text) {
  Publish(text, reportTexts, publishedReport);
  keptPictures.store(-1);
}

void SetCompanionReport(const std::string& text) {
  Publish(text, companionTexts, publishedCompanion);
}

void ReportKeptPictures() {
  keptPictures.store(0);
}

void PictureKept() {
  long long kept = keptPictures.load();
  while (kept >= 0 && !keptPictures.compare_exchange_weak(kept, kept + 1)) {
  }
}

std::string Report() {
  char line[kTextBytes + 128];
  ComposeReport(line);
  return line;
}

void AddPendingFile(const std::string& path) {
  if (path.size() >= kPathBytes) return;  // not removed on an interrupt; no such paths in practice
  for (PendingSlot& slot : pending) {
    int expected = 0;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(2);
    return;
  }
}

void RemovePendingFile(const std::string& path) {
  for (PendingSlot& slot : pending) {
    if (slot.state.load() != 2 || path != slot.path) continue;
    int expected = 2;
    slot.state.compare_exchange_strong(expected, 0);
    return;
  }
}

bool CommitUnlessInterrupted(const std::string& path, const std::function<bool()>& rename) {
  const SignalsHeld held;
  committing.store(true);
  // The handler sets `interrupted` before it looks at `committing`, and this side sets
  // `committing` before it looks at `interrupted`: one of them sees the other.
  const bool run = interrupted.load() == 0;
  if (run && rename()) RemovePendingFile(path);
  committing.store(false);
  return run;
}

}  // namespace halvaris::decode_tool::interruption

#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace halvaris::decode_tool {

// What happens when a run is interrupted: Ctrl+C (SIGINT), SIGTERM, SIGHUP, a closed output pipe
// (SIGPIPE), or any other signal whose default action ends the process (SIGQUIT, SIGUSR1, SIGALRM,
// SIGXFSZ...).
//
// On POSIX systems the signal handler ends the program itself, whatever the program is doing at
// that moment (waiting for a pipe or a FIFO, decoding, writing): it removes the temporary file
// being written, prints one line saying what became of the output, and then dies of the signal,
// so that a calling shell or script sees why. A signal that was ignored when the program started
// (nohup, background jobs of some shells) stays ignored.
// Windows runs console control handlers on a thread of their own, and an open file cannot be
// removed there: the run stops at the next frame, through InterruptRequested().
namespace interruption {

// Installs the handlers; the last line goes to `messages`.
void CatchInterrupts(std::FILE* messages);

bool InterruptRequested();

// The line printed (after "halvaris-decode: error: ") when the run is interrupted from now on.
void SetReport(const std::string& text);
// What becomes of a second output (the sound) if the run is interrupted from now on, added to the
// line after "; " ("out.wav is left as it was"); empty: nothing is added.
void SetCompanionReport(const std::string& text);
// From now on the line counts the pictures kept ("interrupted; 3 complete pictures were kept").
void ReportKeptPictures();
void PictureKept();
// The line as it would be printed now, without the program's name.
std::string Report();

// A file that the handler removes when the run is interrupted before it is renamed into place.
// At most a few are pending at a time.
void AddPendingFile(const std::string& path);
void RemovePendingFile(const std::string& path);

// Runs `rename` (which puts pending file `path` in place and says whether it did) unless the run
// has been interrupted, with the handler held off meanwhile; `path` is then no longer pending.
// Returns false, without running `rename`, when the run was interrupted: the file is then the
// handler's to remove.
bool CommitUnlessInterrupted(const std::string& path, const std::function<bool()>& rename);

}  // namespace interruption
}  // namespace halvaris::decode_tool

#pragma once

#include <cstdint>
#include <memory>
#include <ostream>

#include "movie_file.h"

namespace halvaris::aperture {

// Verdict on a file's first atom. The numbers are the ones the tool has always used.
enum class MovieCheck : int { kMovie = 0, kNotMovie = 2, kUnreadable = 4 };

// Tells from the type of the first atom (bytes 4-7) whether the file is a QuickTime movie.
// Takes the file over and closes it before returning, whatever the verdict; no file at all
// is unreadable.
MovieCheck IsQuickTimeMovie(std::unique_ptr<MovieFile> file);

// Walks the top-level atoms of `movieFile` from its current position to the end of the file
// and, in every "tapt" atom found inside each "moov", copies the production aperture width
// and height over the clean aperture width and height. Each change is reported on `console`.
void WalkMovie(MovieFile& movieFile, std::ostream& console);

// Walks the child atoms of one container whose payload of `remaining` bytes starts at the
// current position of `movieFile`, rewriting "tapt" atoms and descending into the track,
// media, media information, sample table and edit containers.
void WalkAtoms(MovieFile& movieFile, std::ostream& console, int64_t remaining);

}  // namespace halvaris::aperture

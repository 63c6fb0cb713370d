#pragma once

#include <istream>
#include <ostream>

namespace halvaris::aperture {

// The whole console program: takes the dropped path from argv[1], talks to the user through
// `input` and `console`, and rewrites the dropped movie or the movies of the dropped folder.
// Returns the exit code, which is 0 on every path.
int RunTapwright(int argc, const char* const* argv, std::istream& input, std::ostream& console);

}  // namespace halvaris::aperture

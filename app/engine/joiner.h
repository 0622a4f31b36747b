#pragma once

namespace carvex {

// Appends pieces 1..BuildPieceCount of BuildFileName from BuildSourceFolder to the file of
// that name in BuildDestination, yielding to the window once per chunk, then applies the
// settings for a finished build. Preconditions: the build job fields are set, no file of the
// target name exists, the progress dialog is shown, BuildInProgress is true.
void BuildFile();

}  // namespace carvex

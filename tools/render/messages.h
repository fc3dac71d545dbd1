// Where this program's own words go: standard error, or with -q a copy of it, while standard error
// itself goes nowhere so that the libraries' own diagnostics (libmpg123 prints them) are not seen.
#pragma once

#include <cstdio>

namespace render {

FILE* messages();
int messagesDescriptor();  // for the signal handler, which writes it directly
// From here on the libraries print nowhere; this program's words still reach standard error.
void silenceLibraries();

}  // namespace render

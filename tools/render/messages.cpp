#include "messages.h"

#include <fcntl.h>
#include <unistd.h>

namespace render {
namespace {

FILE* stream = stderr;
int descriptor = STDERR_FILENO;

}  // namespace

FILE* messages() { return stream; }
int messagesDescriptor() { return descriptor; }

void silenceLibraries() {
  const int copy = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  FILE* kept = copy >= 0 ? fdopen(copy, "w") : nullptr;
  if (!kept || null < 0 || dup2(null, STDERR_FILENO) < 0) {  // then the libraries may speak
    if (kept) std::fclose(kept);
    if (null >= 0) close(null);
    return;
  }
  close(null);
  std::setvbuf(kept, nullptr, _IONBF, 0);
  stream = kept;
  descriptor = copy;
}

}  // namespace render

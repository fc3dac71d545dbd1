// Preloaded into a program, makes every open with O_TMPFILE fail as on a file system that cannot
// hold a file without a name, and every rename that must not replace as where that is not offered,
// so the program's fallbacks run.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>

int open(const char* path, int flags, ...) {
  va_list rest;
  va_start(rest, flags);
  const int mode = (flags & O_CREAT) ? va_arg(rest, int) : 0;
  va_end(rest);
  if ((flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
  return ((int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open"))(path, flags, mode);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  if (flags) return errno = EINVAL, -1;
  return renameat(fromFolder, from, toFolder, to);
}

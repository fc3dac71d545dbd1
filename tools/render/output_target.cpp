#include "output_target.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "messages.h"

namespace fs = std::filesystem;

namespace render {
namespace {

// Names of temporary files the signal handler must remove. The handler may run at any moment on
// any thread, so the table is fixed and claimed with lock-free flags.
constexpr int kSlots = 64;
struct Slot {
  std::atomic<bool> claimed{false};
  std::atomic<bool> live{false};  // path holds a name to remove
  char path[4096];
};
Slot slots[kSlots];
std::atomic<bool> progressLineShown{false};
std::atomic<void (*)()> interruptReport{nullptr};

int claimSlot(const std::string& path) {
  if (path.size() >= sizeof slots[0].path) throw std::runtime_error("the path " + path + " is too long");
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (slots[i].claimed.compare_exchange_strong(expected, true)) {
      std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
      slots[i].live = true;
      return i;
    }
  }
  throw std::runtime_error("too many files open for writing at once");
}

void releaseSlot(int& slot) {
  if (slot < 0) return;
  slots[slot].live = false;
  slots[slot].claimed = false;
  slot = -1;
}

void say(const char* text) {
  ssize_t ignored = write(messagesDescriptor(), text, std::strlen(text));
  (void)ignored;
}

extern "C" void onInterrupt(int signal) {
  for (Slot& slot : slots)
    if (slot.live) unlink(slot.path);
  // A reader that went away (| head) has all it wanted: nothing to say, as for cat.
  if (signal == SIGPIPE) _exit(128 + signal);
  if (progressLineShown) say("\n");
  say("fadecrest-render: interrupted by ");
  say(signal == SIGHUP ? "SIGHUP" : signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGPIPE");
  say("\n");
  if (void (*report)() = interruptReport.load()) report();
  _exit(128 + signal);
}

// A name nobody else uses, hidden beside the target: ".song-preview.wav.k3J9xQ2a".
fs::path hiddenNameBeside(const fs::path& target) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char random[8];
  if (getrandom(random, sizeof random, 0) != sizeof random) throw std::runtime_error("no random numbers");
  std::string name = ".";
  name += target.filename().string();
  name += '.';
  for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return target.parent_path() / name;
}

// Gives the unnamed file open on `fd` the name `path`; false with errno set if that fails.
bool linkUnnamed(int fd, const fs::path& path) {
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
  // Linking by descriptor needs a privilege; through /proc any owner may do it.
  std::string byName = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, byName.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

std::optional<FileIdentity> identityOf(const struct stat& status) {
  return FileIdentity{status.st_dev, status.st_ino};
}

// A file is made beside its name and renamed there, so its folder must take new names.
void checkFolder(const fs::path& target) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (access(folder.c_str(), W_OK) != 0 && errno != ENOENT)
    throw std::runtime_error("cannot write into the folder " + folder.string() + ": " + std::strerror(errno));
}

}  // namespace

std::optional<FileIdentity> identityOfInput(const std::string& path) {
  struct stat status;
  if (path == "-" ? fstat(STDIN_FILENO, &status) : stat(path.c_str(), &status)) return std::nullopt;
  return identityOf(status);
}

std::optional<FileIdentity> identityOfOutput(const std::string& path) {
  struct stat status;
  if (path == "-" ? fstat(STDOUT_FILENO, &status) : stat(path.c_str(), &status)) return std::nullopt;
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return identityOf(status);
}

OutputPlan planOutput(const std::string& path, bool replace) {
  OutputPlan plan;
  plan.shown = path == "-" ? "standard output" : path;
  plan.target = path;
  struct stat status;
  if (path == "-") {
    if (fstat(STDOUT_FILENO, &status) != 0) throw std::runtime_error("standard output is closed");
    if (isatty(STDOUT_FILENO))
      throw std::runtime_error("standard output is a terminal; send it to a file or a pipe");
    plan.kind = OutputKind::Stream;
    return plan;
  }

  if (lstat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    plan.kind = OutputKind::NewFile;
    checkFolder(plan.target);
    return plan;
  }
  if (S_ISLNK(status.st_mode)) {
    // Like cp, write the file the link points to and keep the link.
    if (stat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) throw std::runtime_error(path + " is a link to nothing; not writing through it");
      throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    }
    plan.target = fs::canonical(path);
  }
  if (S_ISDIR(status.st_mode)) throw std::runtime_error(path + " is a directory");
  if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
    plan.kind = OutputKind::Stream;
    return plan;
  }
  if (S_ISBLK(status.st_mode)) throw std::runtime_error(path + " is a block device; not writing to it");
  if (!S_ISREG(status.st_mode)) throw std::runtime_error(path + " is not a file that can be written");
  if (!replace) throw std::runtime_error(path + " already exists (--force replaces it)");
  if (access(plan.target.c_str(), W_OK) != 0)
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  checkFolder(plan.target);
  plan.kind = OutputKind::ReplaceFile;
  plan.mode = status.st_mode & 07777;
  plan.owner = status.st_uid;
  plan.group = status.st_gid;
  return plan;
}

OutputTarget::OutputTarget(const OutputPlan& plan) : plan_(plan) {
  if (plan_.kind == OutputKind::Stream) {
    fd_ = plan_.target == "-" ? dup(STDOUT_FILENO) : open(plan_.target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error(failure(std::strerror(errno)));
    pipe_ = lseek(fd_, 0, SEEK_CUR) < 0;
    return;
  }

  fs::path directory = plan_.target.parent_path().empty() ? fs::path(".") : plan_.target.parent_path();
  fd_ = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    unnamed_ = true;
  } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    // This file system cannot hold a file without a name: give it a hidden one, which the signal
    // handler knows before the file exists.
    do {
      releaseSlot(slot_);
      temporary_ = hiddenNameBeside(plan_.target);
      slot_ = claimSlot(temporary_);
      fd_ = open(temporary_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EEXIST);
    if (fd_ < 0) {
      int error = errno;
      releaseSlot(slot_);
      throw std::runtime_error(failure(std::strerror(error)));
    }
  } else {
    throw std::runtime_error(failure(std::strerror(errno)));
  }
  // A replaced file keeps its owner and group where this user may give them (the superuser), and
  // its permissions.
  if (plan_.kind == OutputKind::ReplaceFile) {
    const bool owned = fchown(fd_, plan_.owner, plan_.group) == 0 || errno == EPERM;
    if (!owned || fchmod(fd_, plan_.mode) != 0) {
      int error = errno;
      close(fd_);
      fd_ = -1;
      if (!unnamed_) unlink(temporary_.c_str());
      releaseSlot(slot_);
      throw std::runtime_error(failure(std::strerror(error)));
    }
  }
}

OutputTarget::~OutputTarget() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !unnamed_ && !temporary_.empty()) unlink(temporary_.c_str());
  releaseSlot(slot_);
}

std::string OutputTarget::failure(const std::string& why) const {
  return "cannot write " + plan_.shown + ": " + why;
}

void OutputTarget::commit() {
  if (plan_.kind != OutputKind::Stream) linkInPlace();
  int closed = close(fd_);
  fd_ = -1;
  committed_ = true;
  if (closed != 0) throw std::runtime_error(failure(std::strerror(errno)));
}

void OutputTarget::linkInPlace() {
  const bool replace = plan_.kind == OutputKind::ReplaceFile;
  if (unnamed_ && !replace) {
    if (!linkUnnamed(fd_, plan_.target)) {
      if (errno == EEXIST) throw std::runtime_error(plan_.shown + " appeared while rendering; left as it is");
      throw std::runtime_error(failure(std::strerror(errno)));
    }
    return;
  }
  if (unnamed_) {
    // A name cannot be linked over an existing file: link a hidden one, then rename it over.
    bool linked = false;
    do {
      releaseSlot(slot_);
      temporary_ = hiddenNameBeside(plan_.target);
      slot_ = claimSlot(temporary_);
      linked = linkUnnamed(fd_, temporary_);
    } while (!linked && errno == EEXIST);
    if (!linked) {
      temporary_.clear();
      throw std::runtime_error(failure(std::strerror(errno)));
    }
    unnamed_ = false;  // from here the hidden name is ours to remove on failure
  }
  int renamed =
      replace ? rename(temporary_.c_str(), plan_.target.c_str())
              : renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, plan_.target.c_str(), RENAME_NOREPLACE);
  if (renamed != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
    // No exclusive rename on this file system; a hard link refuses an existing name just as well.
    renamed = link(temporary_.c_str(), plan_.target.c_str());
    if (renamed == 0) unlink(temporary_.c_str());
  }
  if (renamed != 0) {
    if (errno == EEXIST) throw std::runtime_error(plan_.shown + " appeared while rendering; left as it is");
    throw std::runtime_error(failure(std::strerror(errno)));
  }
  temporary_.clear();
}

void installInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigfillset(&action.sa_mask);
  for (int signal : {SIGHUP, SIGINT, SIGTERM, SIGPIPE}) sigaction(signal, &action, nullptr);
}

void setProgressLineShown(bool shown) { progressLineShown = shown; }

void setInterruptReport(void (*report)()) { interruptReport = report; }

void sayInHandler(const char* text) { say(text); }

}  // namespace render

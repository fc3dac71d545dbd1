// Where a finished render goes, without ever harming a file it was not asked to write.
//
// A file is written to a temporary file beside its name and appears under that name only once it
// is complete. The temporary file has no name where the file system allows it, so nothing is left
// behind whatever ends the process; otherwise it is removed on a hang-up, an interrupt, a
// termination or a broken pipe. Devices, FIFOs and standard output are written through directly.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace render {

// A file as the file system knows it, so that two names of one file compare equal.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names (links followed), or of standard input for "-".
std::optional<FileIdentity> identityOfInput(const std::string& path);
// The same for the regular file an output path names, if there is one: devices and pipes are
// not files that a render could harm.
std::optional<FileIdentity> identityOfOutput(const std::string& path);

enum class OutputKind {
  NewFile,      // nothing there yet
  ReplaceFile,  // an existing regular file, replaced whole when the new one is complete
  Stream,       // standard output, a character device or a FIFO: written through
};

struct OutputPlan {
  std::string shown;             // the name as the user gave it, or "standard output"
  std::filesystem::path target;  // where the file goes, with a link at the name followed
  OutputKind kind = OutputKind::NewFile;
  mode_t mode = 0;  // permission bits of the file replaced
  uid_t owner = 0;  // and its owner and group
  gid_t group = 0;
};

// Decides how `path` would be written, before anything is read or written. Throws
// std::runtime_error naming the reason when it must not be: an existing file without `replace`,
// a file the user may not write, a directory, a block device, a dangling link.
OutputPlan planOutput(const std::string& path, bool replace);

class OutputTarget {
 public:
  explicit OutputTarget(const OutputPlan& plan);  // throws std::runtime_error
  ~OutputTarget();                                // uncommitted, the temporary file goes
  OutputTarget(const OutputTarget&) = delete;
  OutputTarget& operator=(const OutputTarget&) = delete;

  int fd() const { return fd_; }
  // A pipe: written strictly in order, nothing can be revised afterwards.
  bool isPipe() const { return pipe_; }
  // Puts the complete file in place under its name.
  void commit();

 private:
  std::string failure(const std::string& why) const;
  void linkInPlace();

  OutputPlan plan_;
  int fd_ = -1;
  bool pipe_ = false;
  bool unnamed_ = false;             // the temporary file has no name until it is linked
  std::filesystem::path temporary_;  // its name otherwise
  int slot_ = -1;                    // where that name waits for the signal handler
  bool committed_ = false;
};

// On SIGHUP, SIGINT, SIGTERM and SIGPIPE: remove the named temporary files, say so (not for
// SIGPIPE: a closed standard output ends quietly) and exit with 128 + the signal number.
void installInterruptHandlers();
// Whether the handler should end a progress line before its message.
void setProgressLineShown(bool shown);
// What the handler calls after its message (null: nothing); it may call only what a signal
// handler may, such as sayInHandler.
void setInterruptReport(void (*report)());
void sayInHandler(const char* text);

}  // namespace render

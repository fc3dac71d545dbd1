// Where the audio comes from and where it goes: sound files through libsndfile.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace render {

// Interleaved audio read in order, as floats or doubles.
class SignalSource {
 public:
  virtual ~SignalSource() = default;
  virtual int channels() const = 0;
  virtual int sampleRate() const = 0;
  virtual int64_t frames() const = 0;
  // Fills up to `frames` frames and returns how many it filled; 0 at the end.
  virtual int64_t read(float* interleaved, int64_t frames) = 0;
  virtual int64_t read(double* interleaved, int64_t frames) = 0;
};

class SoundFileSource final : public SignalSource {
 public:
  explicit SoundFileSource(const std::string& path);  // throws std::runtime_error
  ~SoundFileSource() override;
  SoundFileSource(const SoundFileSource&) = delete;
  SoundFileSource& operator=(const SoundFileSource&) = delete;

  int channels() const override { return info_.channels; }
  int sampleRate() const override { return info_.samplerate; }
  int64_t frames() const override { return info_.frames; }
  int format() const { return info_.format; }
  int64_t read(float* interleaved, int64_t frames) override;
  int64_t read(double* interleaved, int64_t frames) override;

 private:
  std::string path_;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
};

// A sound file that appears under its name only once it is complete: it is written to a
// temporary file beside the target and renamed by commit(). Dropped uncommitted, it is removed.
class OutputFile {
 public:
  OutputFile(std::filesystem::path target, int format, int channels, int sampleRate);  // throws
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const float* interleaved, int64_t frames);
  void write(const double* interleaved, int64_t frames);
  void commit();

 private:
  void checkWritten(sf_count_t written, int64_t frames);

  std::filesystem::path target_;
  std::filesystem::path temporary_;
  SNDFILE* file_ = nullptr;
  bool committed_ = false;
};

// The libsndfile format for a name ("wav", "flac", "aiff"); the major format of a file name's
// extension, if it is one of those.
int majorFormatNamed(const std::string& name);
std::optional<int> majorFormatOfPath(const std::filesystem::path& path);
std::string extensionOf(int majorFormat);

// The libsndfile sample type for "16", "24", "32" or "float".
int subtypeNamed(const std::string& bits);

// Joins a major format and a sample type, falling back to a sample type the container can hold
// when the wanted one was not asked for explicitly. Throws when the pair cannot be written.
int outputFormat(int majorFormat, int subtype, bool subtypeExplicit, int channels, int sampleRate);

}  // namespace render

// Where the audio comes from and where it goes: sound files through libsndfile.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output_target.h"

struct soxr;  // the resampler, from <soxr.h>

namespace render {

// Text tags (libsndfile's SF_STR_TITLE and the like) with their texts.
using Tags = std::vector<std::pair<int, std::string>>;

// Interleaved audio read in order, as floats or doubles.
class SignalSource {
 public:
  virtual ~SignalSource() = default;
  virtual int channels() const = 0;
  virtual int sampleRate() const = 0;
  // kUnknownLength when the source cannot tell before it ends (a stream).
  virtual int64_t frames() const = 0;
  // Fills up to `frames` frames and returns how many it filled; 0 at the end.
  virtual int64_t read(float* interleaved, int64_t frames) = 0;
  virtual int64_t read(double* interleaved, int64_t frames) = 0;
  // Why the source ended before its header said it would; empty when it did not.
  virtual std::string shortfall() const { return {}; }
  // Title, artist and the rest, where the source has them.
  virtual Tags tags() const { return {}; }
};

constexpr int64_t kUnknownLength = SF_COUNT_MAX;

// A sound file, or standard input for "-". A pipe, FIFO or device is read whole into a temporary
// file first. Reading stops at a damaged or missing part; what came before it is delivered and
// shortfall() says why it ended.
class SoundFileSource final : public SignalSource {
 public:
  explicit SoundFileSource(const std::string& path);  // throws std::runtime_error with the reason
  ~SoundFileSource() override;
  SoundFileSource(const SoundFileSource&) = delete;
  SoundFileSource& operator=(const SoundFileSource&) = delete;

  int channels() const override { return info_.channels; }
  int sampleRate() const override { return info_.samplerate; }
  int64_t frames() const override { return info_.frames; }
  int format() const { return info_.format; }
  // A regular file can be opened again when its turn comes; anything else is read once.
  bool canReopen() const { return regularFile_; }
  int64_t read(float* interleaved, int64_t frames) override;
  int64_t read(double* interleaved, int64_t frames) override;
  std::string shortfall() const override;
  Tags tags() const override;

 private:
  template <typename T>
  int64_t readFrames(T* interleaved, int64_t frames);

  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  int64_t delivered_ = 0;
  bool headerPromisesMore_ = false;
  bool regularFile_ = false;
  int64_t unreadBytes_ = 0;  // a file whose header claims no audio
  std::string readError_;
};

// How a lossy format is encoded: a constant bit-rate in kbit/s, or LAME's variable quality 0-9.
struct Encoding {
  std::optional<int> bitrate;
  std::optional<int> quality;
};

// What a writer makes of the samples it is given.
struct WrittenSound {
  int format = 0;
  int channels = 0;
  int sampleRate = 0;               // of the samples given
  int outputRate = 0;               // of the file; the samples are resampled (libsoxr) when it differs
  int64_t frames = kUnknownLength;  // expected, at outputRate
  Encoding encoding;
  Tags tags;
};

// A sound file written into an output target, which puts it in place when finish() succeeds. The
// expected length is stated by a WAV header going into a pipe before the samples.
class SoundWriter {
 public:
  SoundWriter(OutputTarget& target, const std::string& shownName, const WrittenSound& written);
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  void write(const float* interleaved, int64_t frames);
  void write(const double* interleaved, int64_t frames);
  // Completes the file; the target is committed by the caller.
  void finish();

  // Samples beyond full scale given for an integer format, where they are clipped.
  int64_t clipped() const { return clipped_; }
  // Samples that were no numbers (NaN) or infinite.
  int64_t notNumbers() const { return notNumbers_; }

 private:
  template <typename T>
  void count(const T* interleaved, int64_t frames);
  void resample(const float* interleaved, int64_t frames);
  void writeFile(const float* interleaved, int64_t frames);
  std::string failure() const;

  std::string shownName_;
  int channels_;
  bool countClipping_;
  SNDFILE* file_ = nullptr;
  soxr* resampler_ = nullptr;
  double ratio_ = 1.0;
  std::vector<float> resampled_, singles_;
  int64_t clipped_ = 0, notNumbers_ = 0;
};

// The formats written, each a container with the code it fixes where it fixes one: "wav", "flac",
// "aiff", "ogg" (Vorbis), "opus" and "mp3".
int containerNamed(const std::string& name);
// "wav|flac|aiff|ogg|opus|mp3"
std::string formatNames();
// The written format a file's format is (Ogg Vorbis, not Ogg FLAC); 0 for one not written here.
int containerOf(int format);
// The format an extension (".flac", any case) names, if it is one of those.
std::optional<int> writtenFormatOfExtension(std::string extension);
// The format a file name's extension names; none without an extension. Throws for an extension
// that names no format this tool writes.
std::optional<int> containerOfPath(const std::filesystem::path& path);
std::string extensionOf(int container);

// Bytes per sample of the sample types stored sample by sample; 0 for compressed codes.
int sampleBytes(int format);

// The libsndfile sample type for "16", "24", "32" or "float".
int subtypeNamed(const std::string& bits);

// Joins a container and a sample type, falling back to a sample type the container can hold
// when the wanted one was not asked for explicitly; a container with a code of its own takes no
// sample type. Throws when the pair cannot be written.
int outputFormat(int container, int subtype, bool subtypeExplicit, int channels, int sampleRate);

// The rate a file of the format gets for samples at `sampleRate`: the same where the format
// holds it, else the lowest it holds above (or its highest).
int outputRate(int format, int sampleRate);
// Throws when the encoding asked for does not fit the format at that rate.
void checkEncoding(int format, int channels, int sampleRate, const Encoding& encoding);

// The format for an output of `frames` frames (kUnknownLength if not known): a WAV that may pass
// 4 GiB becomes RF64. Throws for a length the format cannot hold, naming formats that can.
int formatForLength(int format, int channels, int64_t frames);

// "FLAC 16-bit", "WAV 32-bit float".
std::string describeFormat(int format);
// What is lost writing samples of the input format in the output format; empty when nothing is.
std::string resolutionLoss(int inputFormat, int outputFormat);

}  // namespace render

#include "audio_files.h"

#include <fcntl.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace render {

int sampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return 1;
    case SF_FORMAT_PCM_16:
      return 2;
    case SF_FORMAT_PCM_24:
      return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 4;
    case SF_FORMAT_DOUBLE:
      return 8;
    default:
      return 0;
  }
}

namespace {

std::string soundFileError(SNDFILE* file) {
  std::string message = sf_strerror(file);
  // libsndfile's words for a header without a sample rate or channel count.
  if (message.find("SF_INFO struct incomplete") != std::string::npos)
    return "its header gives no sample rate or no channels";
  for (const char* prefix : {"System error : ", "Error : "})
    if (message.starts_with(prefix)) message.erase(0, std::strlen(prefix));
  while (!message.empty() && (message.back() == '\n' || message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message;
}

// The formats this tool writes: the container with its code where the format fixes one, the name
// --format takes, the name messages use, the extensions that name it (the first is given to new
// files), and the sample rates it holds (none listed: any up to the highest, or any at all).
struct WrittenFormat {
  int container;
  const char* name;
  const char* shown;
  const char* extension;
  const char* otherExtension;  // or null
  std::initializer_list<int> rates;
};
const WrittenFormat kWrittenFormats[] = {
    {SF_FORMAT_WAV, "wav", "WAV", ".wav", nullptr, {}},
    {SF_FORMAT_FLAC, "flac", "FLAC", ".flac", nullptr, {}},
    {SF_FORMAT_AIFF, "aiff", "AIFF", ".aiff", ".aif", {}},
    {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "ogg", "Ogg Vorbis", ".ogg", ".oga", {192000}},
    {SF_FORMAT_OGG | SF_FORMAT_OPUS, "opus", "Opus", ".opus", nullptr, {8000, 12000, 16000, 24000, 48000}},
    {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
     "mp3",
     "MP3",
     ".mp3",
     nullptr,
     {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}},
};

bool hasCode(int container) { return (container & SF_FORMAT_SUBMASK) != 0; }

const WrittenFormat* writtenFormat(int format) {
  for (const WrittenFormat& written : kWrittenFormats) {
    const bool sameCode = !hasCode(written.container) ||
                          (written.container & SF_FORMAT_SUBMASK) == (format & SF_FORMAT_SUBMASK);
    if ((written.container & SF_FORMAT_TYPEMASK) == (format & SF_FORMAT_TYPEMASK) && sameCode)
      return &written;
  }
  return nullptr;
}

// "FLAC"; WAV for a container not written here.
std::string containerName(int format) {
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64) return "RF64";
  const WrittenFormat* written = writtenFormat(format);
  return written ? written->shown : "WAV";
}

// libsndfile trims a data chunk that runs past the end of the file to what is there, and notes
// the size the header gave in its log: "data : 1764000 (should be 299942)".
bool headerPromisesMore(SNDFILE* file, bool streamed) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    line.erase(0, line.find_first_not_of(' '));
    if (!(line.starts_with("data ") || line.starts_with("SSND ")) ||
        line.find("(should be") == std::string::npos)
      continue;
    // What a stream writes before it knows its length is no promise: 0xFFFFFFFF (ffmpeg's WAV), or
    // from 0x7F000000 up (sox's AIFF) where the input came through a pipe.
    const unsigned long long stated = std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
    if (stated != 0xFFFFFFFFull && !(streamed && stated >= 0x7F000000ull)) return true;
  }
  return false;
}

struct SampleType {
  const char* name;
  int bits;  // significant bits; 0 for a lossy code
  bool isFloat;
};

SampleType sampleTypeOf(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return {"8-bit", 8, false};
    case SF_FORMAT_PCM_16:
      return {"16-bit", 16, false};
    case SF_FORMAT_PCM_24:
      return {"24-bit", 24, false};
    case SF_FORMAT_PCM_32:
      return {"32-bit", 32, false};
    case SF_FORMAT_FLOAT:
      return {"32-bit float", 24, true};
    case SF_FORMAT_DOUBLE:
      return {"64-bit float", 53, true};
    case SF_FORMAT_ULAW:
      return {"u-law", 14, false};
    case SF_FORMAT_ALAW:
      return {"A-law", 13, false};
    case SF_FORMAT_VORBIS:
      return {"Vorbis", 0, false};
    case SF_FORMAT_OPUS:
      return {"Opus", 0, false};
    default:
      return {"compressed", 0, false};
  }
}

bool canStreamToPipe(int format) {
  int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_FLAC || major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG;
}

bool isWav(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_WAV || major == SF_FORMAT_RF64;
}

// The sample types a plain WAV header written ahead can describe: integer PCM and float.
bool headerAheadDescribes(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  return sampleBytes(format) && subtype != SF_FORMAT_ULAW && subtype != SF_FORMAT_ALAW;
}

// MP3's defaults: LAME's variable bit-rate at its quality 2 (about 190 kbit/s), which LAME
// recommends as transparent for nearly all music. Opus: 64 kbit/s a channel, where Opus is
// transparent for music.
constexpr int kMp3Quality = 2;
constexpr int kOpusKbitPerChannel = 64;
constexpr int kMp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
constexpr int kOpus = SF_FORMAT_OGG | SF_FORMAT_OPUS;

// The bit-rates LAME takes at a sample rate, by the MPEG version that rate needs.
struct Mp3Band {
  int lowest, highest;
};
Mp3Band mp3Band(int sampleRate) {
  if (sampleRate >= 32000) return {32, 320};
  if (sampleRate >= 16000) return {8, 160};
  return {8, 64};
}

// libsndfile sets an encoder by one "compression level" from 0 (best) to 1. For MP3 at a constant
// bit-rate it is the rate's place in its band from the top, at a variable one LAME's quality / 10;
// for Opus the place of the rate a channel between 256 and 6 kbit/s.
void applyEncoding(SNDFILE* file, int format, int channels, int sampleRate, const Encoding& encoding) {
  double level;
  if ((format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK)) == kMp3) {
    int mode = encoding.bitrate ? SF_BITRATE_MODE_CONSTANT : SF_BITRATE_MODE_VARIABLE;
    sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    const Mp3Band band = mp3Band(sampleRate);
    // A quarter kbit/s above the rate asked for, so that libsndfile's rounding down lands on it.
    level = encoding.bitrate ? (band.highest - *encoding.bitrate - 0.25) / (band.highest - band.lowest)
                             : encoding.quality.value_or(kMp3Quality) / 10.0;
  } else if ((format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK)) == kOpus) {
    const double perChannel = encoding.bitrate.value_or(kOpusKbitPerChannel * channels) * 1000.0 / channels;
    level = 1.0 - (perChannel - 6000.0) / 250000.0;
  } else {
    return;
  }
  level = std::clamp(level, 0.0, 1.0);
  sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
}

// libsndfile finishes a WAV header after the data, which a pipe cannot take back. Written first
// instead, with the sizes the input announced (or the largest, for a stream of unknown length),
// the samples can follow as plain little-endian data.
void writeWavHeader(int fd, int format, int channels, int sampleRate, int64_t frames) {
  const uint32_t bytesPerSample = sampleBytes(format);
  const uint32_t frameBytes = bytesPerSample * channels;
  const bool isFloat =
      (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT || (format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
  constexpr uint32_t kUnknown = 0xFFFFFFFF;
  const bool fits = frames != kUnknownLength && static_cast<uint64_t>(frames) * frameBytes < kUnknown - 64;
  const uint32_t dataBytes = fits ? static_cast<uint32_t>(frames * frameBytes) : kUnknown;

  // A float format carries the size of its (empty) format extension and a frame count.
  const uint32_t formatBytes = isFloat ? 18 : 16;
  const uint32_t headerBytes = 4 + 8 + formatBytes + (isFloat ? 12 : 0) + 8;

  std::string header;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header += static_cast<char>(value >> (8 * i));
  };
  header += "RIFF";
  put(fits ? headerBytes + dataBytes : kUnknown, 4);
  header += "WAVEfmt ";
  put(formatBytes, 4);
  put(isFloat ? 3 : 1, 2);  // IEEE float or integer PCM
  put(channels, 2);
  put(sampleRate, 4);
  put(sampleRate * frameBytes, 4);
  put(frameBytes, 2);
  put(bytesPerSample * 8, 2);
  if (isFloat) {
    put(0, 2);
    header += "fact";
    put(4, 4);
    put(fits ? static_cast<uint32_t>(frames) : kUnknown, 4);
  }
  header += "data";
  put(dataBytes, 4);
  for (size_t done = 0; done < header.size();) {
    ssize_t wrote = ::write(fd, header.data() + done, header.size() - done);
    if (wrote < 0 && errno != EINTR) throw std::runtime_error(std::strerror(errno));
    if (wrote > 0) done += static_cast<size_t>(wrote);
  }
}

// Everything a pipe, FIFO or device holds, copied into a temporary file without a name: libsndfile
// reads every format from a file, where from a pipe it cannot read some and measures others wrong.
// Takes over `stream` and answers the copy, at its start.
int copyOfStream(int stream) {
  const char* folder = std::getenv("TMPDIR");
  if (!folder || !*folder) folder = "/tmp";
  int copy = open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (copy < 0) {  // a file system without such files: a name, removed at once
    std::string name = std::string(folder) + "/.fadecrest-input-XXXXXX";
    copy = mkostemp(name.data(), O_CLOEXEC);
    if (copy >= 0) unlink(name.c_str());
  }
  std::string failure =
      copy < 0 ? std::string("cannot keep a copy in ") + folder + ": " + std::strerror(errno) : "";
  char buffer[1 << 16];
  while (failure.empty()) {
    ssize_t got = read(stream, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failure = std::string("cannot read it: ") + std::strerror(errno);
    if (got <= 0) break;
    for (ssize_t done = 0; done < got && failure.empty();) {
      ssize_t wrote = write(copy, buffer + done, static_cast<size_t>(got - done));
      if (wrote < 0 && errno != EINTR)
        failure = std::string("cannot keep a copy in ") + folder + ": " + std::strerror(errno);
      if (wrote > 0) done += wrote;
    }
  }
  close(stream);
  if (!failure.empty()) {
    if (copy >= 0) close(copy);
    throw std::runtime_error(failure);
  }
  lseek(copy, 0, SEEK_SET);
  return copy;
}

}  // namespace

SoundFileSource::SoundFileSource(const std::string& path) {
  struct stat status;
  if ((path == "-" ? fstat(STDIN_FILENO, &status) : stat(path.c_str(), &status)) != 0)
    throw std::runtime_error(std::strerror(errno));
  if (S_ISDIR(status.st_mode)) throw std::runtime_error("is a directory");
  regularFile_ = S_ISREG(status.st_mode);
  int fd = path == "-" ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  if (!regularFile_) fd = copyOfStream(fd);
  const off_t bytes = lseek(fd, 0, SEEK_END);
  lseek(fd, 0, SEEK_SET);
  if (bytes == 0) {
    close(fd);
    throw std::runtime_error("is empty");
  }
  file_ = sf_open_fd(fd, SFM_READ, &info_, SF_TRUE);
  if (!file_) throw std::runtime_error("cannot read it: " + soundFileError(nullptr));
  if (info_.samplerate <= 0) throw std::runtime_error("its header gives no sample rate");
  headerPromisesMore_ = headerPromisesMore(file_, !regularFile_);
  // A file whose length cannot be found (an Ogg without its last page) has lost its end.
  if (info_.frames == kUnknownLength && (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG)
    headerPromisesMore_ = true;
  // No codec packs more frames than this into a byte: a length beyond it is made up, and the
  // file is read for as long as it goes.
  constexpr int64_t kMostFramesPerByte = 4096;
  if (info_.frames != kUnknownLength && info_.frames / kMostFramesPerByte > bytes)
    info_.frames = kUnknownLength;
  // A header that says there is no audio where there plainly is (a WAV or AU data size of 0).
  constexpr off_t kLargestHeader = 4096;
  if (info_.frames == 0 && bytes > kLargestHeader) unreadBytes_ = bytes;
}

SoundFileSource::~SoundFileSource() { sf_close(file_); }

Tags SoundFileSource::tags() const {
  Tags tags;
  for (int tag : {SF_STR_TITLE, SF_STR_ARTIST, SF_STR_ALBUM, SF_STR_DATE, SF_STR_TRACKNUMBER, SF_STR_GENRE,
                  SF_STR_COMMENT, SF_STR_COPYRIGHT})
    if (const char* text = sf_get_string(file_, tag); text && *text) tags.emplace_back(tag, text);
  return tags;
}

template <typename T>
int64_t SoundFileSource::readFrames(T* interleaved, int64_t frames) {
  if (!readError_.empty()) return 0;
  sf_count_t got;
  if constexpr (sizeof(T) == sizeof(float))
    got = sf_readf_float(file_, interleaved, frames);
  else
    got = sf_readf_double(file_, interleaved, frames);
  if (got < frames && sf_error(file_)) readError_ = soundFileError(file_);
  delivered_ += got;
  return got;
}

int64_t SoundFileSource::read(float* interleaved, int64_t frames) { return readFrames(interleaved, frames); }
int64_t SoundFileSource::read(double* interleaved, int64_t frames) { return readFrames(interleaved, frames); }

std::string SoundFileSource::shortfall() const {
  if (!readError_.empty()) return "it cannot be read any further (" + readError_ + ")";
  if (unreadBytes_)
    return "its header says it holds no audio, yet it is " + std::to_string(unreadBytes_) + " bytes long";
  if (headerPromisesMore_ || (info_.frames != kUnknownLength && delivered_ < info_.frames))
    return "it ends before its header says it does";
  return {};
}

SoundWriter::SoundWriter(OutputTarget& target, const std::string& shownName, const WrittenSound& written)
    : shownName_(shownName),
      channels_(written.channels),
      countClipping_(sampleBytes(written.format) > 0 && !sampleTypeOf(written.format).isFloat) {
  int format = written.format;
  if (target.isPipe() && isWav(format) && headerAheadDescribes(format)) {
    try {
      writeWavHeader(target.fd(), format, written.channels, written.outputRate, written.frames);
    } catch (const std::exception& error) {
      throw std::runtime_error("cannot write " + shownName_ + ": " + error.what());
    }
    format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE | (format & SF_FORMAT_SUBMASK);
  } else if (target.isPipe() && !canStreamToPipe(format)) {
    throw std::runtime_error("cannot write " + shownName_ + ": " + containerName(format) +
                             " cannot be streamed into a pipe (its header is finished last); "
                             "use --format wav, flac, ogg, opus or mp3 there");
  }
  SF_INFO info{};
  info.format = format;
  info.channels = written.channels;
  info.samplerate = written.outputRate;
  file_ = sf_open_fd(target.fd(), SFM_WRITE, &info, SF_FALSE);
  if (!file_) throw std::runtime_error("cannot write " + shownName_ + ": " + soundFileError(nullptr));
  // Written as plain WAV when it stays below 4 GiB after all.
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
    sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  // Out-of-range samples saturate in integer formats instead of wrapping round.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  // The peak chunk of float files carries the time of writing; without it the same input and
  // options give the same bytes.
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  applyEncoding(file_, written.format, written.channels, written.outputRate, written.encoding);
  // Where the format has no place for a tag, libsndfile refuses it, and it is left out.
  for (const auto& [tag, text] : written.tags) sf_set_string(file_, tag, text.c_str());
  sf_set_string(file_, SF_STR_SOFTWARE, "Fadecrest (fadecrest-render " FADECREST_VERSION ")");

  if (written.outputRate != written.sampleRate) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    resampler_ =
        soxr_create(written.sampleRate, written.outputRate, written.channels, &error, &io, &quality, nullptr);
    if (error) throw std::runtime_error(std::string("cannot resample: ") + error);
    ratio_ = static_cast<double>(written.outputRate) / written.sampleRate;
  }
}

SoundWriter::~SoundWriter() {
  if (file_) sf_close(file_);
  soxr_delete(resampler_);
}

template <typename T>
void SoundWriter::count(const T* interleaved, int64_t frames) {
  const T* end = interleaved + frames * channels_;
  for (const T* sample = interleaved; sample < end; ++sample) {
    if (!std::isfinite(*sample))
      ++notNumbers_;
    else if (countClipping_ && (*sample > T(1) || *sample < T(-1)))
      ++clipped_;
  }
}

// The system's errors of a write that did not reach the disk: some encoders (MP3's) go on as if it
// had, and others (Ogg's) say only that something went wrong.
namespace {
bool writeFailed(int error) { return error == ENOSPC || error == EDQUOT || error == EIO || error == EFBIG; }
}  // namespace

void SoundWriter::writeFile(const float* interleaved, int64_t frames) {
  errno = 0;
  if (sf_writef_float(file_, interleaved, frames) != frames || writeFailed(errno))
    throw std::runtime_error(failure());
}

std::string SoundWriter::failure() const {
  const int error = errno;
  return "cannot write " + shownName_ + ": " +
         (writeFailed(error) ? std::strerror(error) : soundFileError(file_));
}

// Through the resampler; no samples at the end, where it gives what it holds back.
void SoundWriter::resample(const float* interleaved, int64_t frames) {
  size_t taken = 0;
  for (;;) {
    resampled_.resize((static_cast<size_t>(static_cast<double>(frames) * ratio_) + 256) * channels_);
    size_t used = 0, made = 0;
    const size_t left = static_cast<size_t>(frames) - taken;
    soxr_error_t error = soxr_process(resampler_, interleaved ? interleaved + taken * channels_ : nullptr,
                                      left, &used, resampled_.data(), resampled_.size() / channels_, &made);
    if (error) throw std::runtime_error("cannot resample for " + shownName_ + ": " + error);
    writeFile(resampled_.data(), static_cast<int64_t>(made));
    taken += used;
    if (interleaved ? taken >= static_cast<size_t>(frames) : made == 0) return;
  }
}

void SoundWriter::write(const float* interleaved, int64_t frames) {
  count(interleaved, frames);
  if (resampler_)
    resample(interleaved, frames);
  else
    writeFile(interleaved, frames);
}

void SoundWriter::write(const double* interleaved, int64_t frames) {
  count(interleaved, frames);
  if (resampler_) {
    // Only lossy formats are resampled, where single precision loses nothing that is kept.
    singles_.assign(interleaved, interleaved + frames * channels_);
    resample(singles_.data(), frames);
    return;
  }
  errno = 0;
  if (sf_writef_double(file_, interleaved, frames) != frames || writeFailed(errno))
    throw std::runtime_error(failure());
}

void SoundWriter::finish() {
  if (resampler_) resample(nullptr, 0);
  errno = 0;
  int closed = sf_close(file_);
  file_ = nullptr;
  const int error = errno;
  if (closed != 0 || writeFailed(error))
    throw std::runtime_error("cannot write " + shownName_ + ": " +
                             (writeFailed(error) ? std::strerror(error) : sf_error_number(closed)));
}

int containerNamed(const std::string& name) {
  for (const WrittenFormat& written : kWrittenFormats)
    if (name == written.name) return written.container;
  throw std::invalid_argument("unknown format " + name);
}

int containerOf(int format) {
  const WrittenFormat* written = writtenFormat(format);
  return written ? written->container : 0;
}

std::string formatNames() {
  std::string names;
  for (const WrittenFormat& written : kWrittenFormats)
    names += (names.empty() ? "" : "|") + std::string(written.name);
  return names;
}

std::optional<int> writtenFormatOfExtension(std::string extension) {
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const WrittenFormat& written : kWrittenFormats)
    if (extension == written.extension || (written.otherExtension && extension == written.otherExtension))
      return written.container;
  return std::nullopt;
}

std::optional<int> containerOfPath(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  if (extension.empty()) return std::nullopt;
  if (auto format = writtenFormatOfExtension(extension)) return format;
  std::string extensions;
  for (const WrittenFormat& written : kWrittenFormats)
    extensions += (extensions.empty() ? "" : ", ") + std::string(written.extension);
  throw std::runtime_error("the extension of " + path.string() + " names no format written here (" +
                           extensions + ")");
}

std::string extensionOf(int container) {
  const WrittenFormat* written = writtenFormat(container);
  const std::string dotted = written ? written->extension : ".wav";
  return dotted.substr(1);
}

int subtypeNamed(const std::string& bits) {
  if (bits == "16") return SF_FORMAT_PCM_16;
  if (bits == "24") return SF_FORMAT_PCM_24;
  if (bits == "32") return SF_FORMAT_PCM_32;
  if (bits == "float") return SF_FORMAT_FLOAT;
  throw std::invalid_argument("unknown sample type " + bits);
}

int outputFormat(int container, int subtype, bool subtypeExplicit, int channels, int sampleRate) {
  if (hasCode(container)) {
    if (subtypeExplicit)
      throw std::runtime_error(containerName(container) +
                               " has no choice of samples; --bits goes with wav, flac and aiff");
    return container;
  }
  auto valid = [&](int format) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) != 0;
  };
  const int major = container & SF_FORMAT_TYPEMASK;
  int format = major | (subtype & SF_FORMAT_SUBMASK);
  if (valid(format)) return format;
  if (!subtypeExplicit) {
    for (int fallback : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS}) {
      if (valid(major | fallback)) return major | fallback;
    }
  }
  throw std::runtime_error(containerName(major) + " files cannot hold " + sampleTypeOf(subtype).name +
                           " samples");
}

int formatForLength(int format, int channels, int64_t frames) {
  const int major = format & SF_FORMAT_TYPEMASK;
  const double bytes = frames == kUnknownLength ? -1.0 : double(frames) * channels * sampleBytes(format);
  // The sizes in a WAV or AIFF header end at 4 GiB. Past half of that (or not knowing), a WAV is
  // begun as RF64, which is finished as plain WAV if it stays small.
  if (major == SF_FORMAT_WAV && (bytes < 0 || bytes >= double(int64_t{1} << 31)))
    return SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
  constexpr double kAiffMost = 4294967295.0 - 65536;  // what the sizes hold, less room for the header
  if (major == SF_FORMAT_AIFF && bytes > kAiffMost) {
    char size[32];
    std::snprintf(size, sizeof size, "%.1f GiB", bytes / double(int64_t{1} << 30));
    throw std::runtime_error(std::string("AIFF files cannot hold more than 4 GiB, and this one would be ") +
                             size + "; wav (as RF64), flac or ogg can");
  }
  return format;
}

int outputRate(int format, int sampleRate) {
  const WrittenFormat* written = writtenFormat(format);
  if (!written || written->rates.size() == 0) return sampleRate;
  if (written->rates.size() == 1) return std::min(sampleRate, *written->rates.begin());
  for (int rate : written->rates)
    if (rate >= sampleRate) return rate;
  return *std::rbegin(written->rates);
}

void checkEncoding(int format, int channels, int sampleRate, const Encoding& encoding) {
  const std::string name = containerName(format);
  const int container = containerOf(format);
  if (container == kMp3) {
    const Mp3Band band = mp3Band(sampleRate);
    if (encoding.bitrate && (*encoding.bitrate < band.lowest || *encoding.bitrate > band.highest))
      throw std::runtime_error("MP3 at " + std::to_string(sampleRate) + " Hz holds " +
                               std::to_string(band.lowest) + " to " + std::to_string(band.highest) +
                               " kbit/s, not " + std::to_string(*encoding.bitrate));
  } else if (container == kOpus) {
    if (encoding.quality) throw std::runtime_error("--quality is MP3's scale; Opus takes --bitrate");
    if (encoding.bitrate && (*encoding.bitrate < 6 * channels || *encoding.bitrate > 256 * channels))
      throw std::runtime_error("Opus holds " + std::to_string(6 * channels) + " to " +
                               std::to_string(256 * channels) + " kbit/s for " + std::to_string(channels) +
                               " channel(s), not " + std::to_string(*encoding.bitrate));
  } else if (encoding.bitrate || encoding.quality) {
    throw std::runtime_error(name +
                             " has no bit-rate to choose; --bitrate and --quality go with mp3 and opus");
  }
}

std::string describeFormat(int format) {
  if (hasCode(containerOf(format))) return containerName(format);
  return containerName(format) + " " + sampleTypeOf(format).name;
}

std::string resolutionLoss(int inputFormat, int outputFormat) {
  SampleType in = sampleTypeOf(inputFormat), out = sampleTypeOf(outputFormat);
  // A lossy code loses more than resolution, and says so by its name.
  if (out.bits == 0 || (!(in.isFloat && !out.isFloat) && out.bits >= in.bits)) return {};
  return std::string(in.name) + " samples written as " + describeFormat(outputFormat) + " lose resolution";
}

}  // namespace render

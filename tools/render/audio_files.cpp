#include "audio_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace render {
namespace {

std::string soundFileError(SNDFILE* file) {
  std::string message = sf_strerror(file);
  if (message.starts_with("System error : ")) message.erase(0, 15);
  while (!message.empty() && (message.back() == '\n' || message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message;
}

}  // namespace

SoundFileSource::SoundFileSource(const std::string& path) : path_(path) {
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (!file_) throw std::runtime_error("cannot read " + path + ": " + soundFileError(nullptr));
}

SoundFileSource::~SoundFileSource() { sf_close(file_); }

int64_t SoundFileSource::read(float* interleaved, int64_t frames) {
  sf_count_t got = sf_readf_float(file_, interleaved, frames);
  if (got < frames && sf_error(file_))
    throw std::runtime_error("cannot read " + path_ + ": " + soundFileError(file_));
  return got;
}

int64_t SoundFileSource::read(double* interleaved, int64_t frames) {
  sf_count_t got = sf_readf_double(file_, interleaved, frames);
  if (got < frames && sf_error(file_))
    throw std::runtime_error("cannot read " + path_ + ": " + soundFileError(file_));
  return got;
}

OutputFile::OutputFile(std::filesystem::path target, int format, int channels, int sampleRate)
    : target_(std::move(target)) {
  std::filesystem::path directory = target_.parent_path().empty() ? "." : target_.parent_path();
  std::string hidden = target_.filename().string();
  hidden.insert(hidden.begin(), '.');
  hidden += ".XXXXXX";
  std::string pattern = (directory / hidden).string();
  int fd = mkstemp(pattern.data());
  if (fd < 0) throw std::runtime_error("cannot write " + target_.string() + ": " + std::strerror(errno));
  temporary_ = pattern;

  // mkstemp makes the file private; the result should get the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (!file_) {
    std::string why = soundFileError(nullptr);
    close(fd);
    std::filesystem::remove(temporary_);
    throw std::runtime_error("cannot write " + target_.string() + ": " + why);
  }
  // Out-of-range samples saturate in integer formats instead of wrapping round.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

OutputFile::~OutputFile() {
  if (committed_) return;
  if (file_) sf_close(file_);
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void OutputFile::checkWritten(sf_count_t written, int64_t frames) {
  if (written != frames)
    throw std::runtime_error("cannot write " + target_.string() + ": " + soundFileError(file_));
}

void OutputFile::write(const float* interleaved, int64_t frames) {
  checkWritten(sf_writef_float(file_, interleaved, frames), frames);
}

void OutputFile::write(const double* interleaved, int64_t frames) {
  checkWritten(sf_writef_double(file_, interleaved, frames), frames);
}

void OutputFile::commit() {
  int closed = sf_close(file_);
  file_ = nullptr;
  if (closed != 0)
    throw std::runtime_error("cannot write " + target_.string() + ": " + sf_error_number(closed));
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) throw std::runtime_error("cannot write " + target_.string() + ": " + error.message());
  committed_ = true;
}

int majorFormatNamed(const std::string& name) {
  if (name == "wav") return SF_FORMAT_WAV;
  if (name == "flac") return SF_FORMAT_FLAC;
  if (name == "aiff") return SF_FORMAT_AIFF;
  throw std::invalid_argument("unknown format " + name);
}

std::optional<int> majorFormatOfPath(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".wav") return SF_FORMAT_WAV;
  if (extension == ".flac") return SF_FORMAT_FLAC;
  if (extension == ".aiff" || extension == ".aif") return SF_FORMAT_AIFF;
  return std::nullopt;
}

std::string extensionOf(int majorFormat) {
  SF_FORMAT_INFO info{};
  info.format = majorFormat & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.extension) return "wav";
  return info.extension;
}

int subtypeNamed(const std::string& bits) {
  if (bits == "16") return SF_FORMAT_PCM_16;
  if (bits == "24") return SF_FORMAT_PCM_24;
  if (bits == "32") return SF_FORMAT_PCM_32;
  if (bits == "float") return SF_FORMAT_FLOAT;
  throw std::invalid_argument("unknown sample type " + bits);
}

int outputFormat(int majorFormat, int subtype, bool subtypeExplicit, int channels, int sampleRate) {
  auto valid = [&](int format) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) != 0;
  };
  int format = (majorFormat & SF_FORMAT_TYPEMASK) | (subtype & SF_FORMAT_SUBMASK);
  if (valid(format)) return format;
  if (!subtypeExplicit) {
    for (int fallback : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16}) {
      int candidate = (majorFormat & SF_FORMAT_TYPEMASK) | fallback;
      if (valid(candidate)) return candidate;
    }
  }
  SF_FORMAT_INFO sample{};
  sample.format = subtype & SF_FORMAT_SUBMASK;
  sf_command(nullptr, SFC_GET_FORMAT_INFO, &sample, sizeof sample);
  throw std::runtime_error("a " + extensionOf(majorFormat) + " file cannot hold " +
                           (sample.name ? sample.name : "these") + " samples");
}

}  // namespace render

// Packs a file into one zstd frame for embed.cmake: pack INPUT OUTPUT. The window is kept small
// (128 KB, three frames of the knob strip), so the library can unpack a picture as it reads it
// without a buffer of the picture's whole size.
#include <zstd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.eof() && in.fail()) return 1;
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 19);
  ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 17);
  std::vector<char> packed(ZSTD_compressBound(bytes.size()));
  const std::size_t size = ZSTD_compress2(context, packed.data(), packed.size(), bytes.data(), bytes.size());
  ZSTD_freeCCtx(context);
  if (ZSTD_isError(size)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], ZSTD_getErrorName(size));
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(packed.data(), static_cast<std::streamsize>(size));
  return out ? 0 : 1;
}

#include "host/textcopy.h"

#include <cstring>

void vst_strncpy(char* dst, const char* src, VstInt32 maxLen) {
  if (maxLen < 0) return;
  std::strncpy(dst, src, static_cast<size_t>(maxLen));
  dst[maxLen] = 0;
}

void vst_strncat(char* dst, const char* src, VstInt32 maxLen) {
  if (maxLen < 0) return;
  size_t used = std::strlen(dst);
  if (used >= static_cast<size_t>(maxLen)) return;
  std::strncat(dst, src, static_cast<size_t>(maxLen) - used);
}

// Bounded text copies for the text requests of the interface.
#pragma once

#include "host/aeffect.h"

// Copies at most maxLen characters, fills the rest up to maxLen with terminators and writes a
// terminator at maxLen, so the buffer must hold maxLen + 1 bytes.
void vst_strncpy(char* dst, const char* src, VstInt32 maxLen);

// Appends src so that dst holds at most maxLen characters and a terminator.
void vst_strncat(char* dst, const char* src, VstInt32 maxLen);

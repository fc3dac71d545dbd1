// The X side of the virtual display, seen from a Windows program under Wine: commands such as
// xdotool run as Unix programs (Wine starts them through CreateProcess), screenshots of the whole
// display, and pictures as RGBA rows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // top-down rows
  const std::uint8_t* at(int x, int y) const {
    return rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
  }
  Picture crop(int left, int top, int w, int h) const;
};

// Handles this thread's messages for the given time.
void pumpMessages(DWORD milliseconds);

// Runs a shell command on the Unix side and keeps handling this thread's messages until it has
// finished: input sent meanwhile reaches windows that are being served. False after 20 s.
bool runOnDisplay(const std::string& command);

// The whole X screen as it is now.
Picture screenshot();

// PNG files, named by Windows paths.
Picture readPng(const std::string& path);
bool writePng(const Picture& picture, const std::string& path);

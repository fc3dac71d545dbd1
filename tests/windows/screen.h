// The X side of the virtual display, seen from a Windows program under Wine: commands such as
// xdotool run as Unix programs (Wine starts them through CreateProcess), screenshots of the whole
// display.
#pragma once

#include <windows.h>

#include <string>

#include "support/picture.h"

using pictures::Picture;

// Handles this thread's messages for the given time.
void pumpMessages(DWORD milliseconds);

// Runs a shell command on the Unix side and waits until it has finished, handling this thread's
// messages meanwhile (input sent meanwhile reaches windows that are being served) or, with `serve`
// false, only afterwards. False after 20 s.
bool runOnDisplay(const std::string& command, bool serve = true);

// The whole X screen as it is now.
Picture screenshot();

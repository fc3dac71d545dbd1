// What a host calls from its audio thread must never wait: no allocation, no lock, no system call.
// Built with the real-time sanitizer, the entries it calls there are marked so, and anything that
// can block, called from inside one of them, ends the process with a report.
#pragma once

#if defined(__has_feature)
#if __has_feature(realtime_sanitizer)
#define FADECREST_NONBLOCKING [[clang::nonblocking]]
#endif
#endif
#ifndef FADECREST_NONBLOCKING
#define FADECREST_NONBLOCKING
#endif

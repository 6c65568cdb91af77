#pragma once

// ORVENNA_CHECK(condition, what): an invariant of the program. In Debug and sanitizer builds a
// false condition prints where and what, and aborts; in release builds it costs nothing.
#ifdef ORVENNA_CHECKS
#include <cstdio>
#include <cstdlib>
#define ORVENNA_CHECK(condition, what)                                                       \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: check failed: %s (%s)\n", __FILE__, __LINE__, #condition, \
                   what);                                                                    \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)
#else
#define ORVENNA_CHECK(condition, what) \
  do {                                 \
  } while (false && (condition))
#endif

#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

// Skips a test whose environment (a display, a test desktop) is missing, except under CI (the
// variable CI set), where a missing environment fails the test instead of passing it unseen.
#define ORVENNA_NEEDS(present, what)                                 \
  if (!(present)) {                                                  \
    if (std::getenv("CI")) FAIL() << "missing under CI: " << (what); \
    GTEST_SKIP() << "needs " << (what);                              \
  }

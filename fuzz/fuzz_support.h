// Helpers of the fuzz targets. They share the tests' support (tests/support/test_support.h:
// in-memory callbacks, counting heap and file layers, scratch folders); what is their own is the
// check that stops a run with a message, which libFuzzer then reports as a crash, keeping the
// input.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "test_support.h"

// A property that must hold for every input; a failure aborts.
inline void FuzzCheck(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "fuzz check failed: %s\n", property);
    std::abort();
  }
}

// The seed of every randomised test: TEST_SEED when set (decimal, or hex
// with 0x), otherwise the fixed default of the test's helpers, so that every
// run of the suite is the same. Printed, so that a failure can be replayed;
// set the variable to explore other seeds:
//
//   TEST_SEED=12345 build/host/bin/unit_tests
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline uint32_t TestSeedOr(uint32_t fallback) {
  const char* given = std::getenv("TEST_SEED");
  uint32_t seed = given != nullptr
                      ? static_cast<uint32_t>(std::strtoul(given, nullptr, 0))
                      : fallback;
  std::printf("[   SEED   ] TEST_SEED=%u\n", seed);
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  return seed;
}

// The program's random source: uniform, thread-safe, seeded at launch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mr {

void seedRandom(uint32_t seed);
uint32_t randomUint32();
// Uniform in [0, bound); 0 when bound is 0.
size_t randomIndex(size_t bound);

}  // namespace mr

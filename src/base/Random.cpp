#include "base/Random.h"

#include <mutex>
#include <random>

namespace mr {
namespace {

std::mutex& randomMutex() {
  static std::mutex mutex;
  return mutex;
}

std::mt19937& generator() {
  static std::mt19937 engine{std::random_device{}()};
  return engine;
}

}  // namespace

void seedRandom(uint32_t seed) {
  std::lock_guard guard(randomMutex());
  generator().seed(seed);
}

uint32_t randomUint32() {
  std::lock_guard guard(randomMutex());
  return static_cast<uint32_t>(generator()());
}

size_t randomIndex(size_t bound) {
  if (bound == 0) return 0;
  std::lock_guard guard(randomMutex());
  return std::uniform_int_distribution<size_t>(0, bound - 1)(generator());
}

}  // namespace mr

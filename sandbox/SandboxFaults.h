// A slow or flaky network on demand: per path prefix, a delay added before
// each request is answered and a share of requests answered 503. The rule
// with the longest prefix of the request's path applies ("/2.0/" for the
// Last.fm calls, "/search" for store searches, "/" for everything).
//
// Failures are spread evenly rather than drawn at random, so a run can be
// repeated: with a rate r, the n-th request under a rule fails exactly when
// floor(n·r) grows (0.25 fails the 4th, 8th, 12th ...).
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Error.h"

namespace mr::sandbox {

class SandboxFaults {
 public:
  SandboxFaults(const std::map<std::string, int>& latencyMs,
                const std::map<std::string, double>& failRate);

  bool empty() const { return latencies_.empty() && failures_.empty(); }
  std::chrono::milliseconds latencyFor(std::string_view path) const;
  // Counts the request against its rule and tells whether it is one to fail.
  bool shouldFail(std::string_view path);

  // "PREFIX=VALUE" as the command line takes it; the prefix must begin
  // with "/" and the value must be a number that is not negative.
  static Result<std::pair<std::string, double>> parseRule(std::string_view text);

 private:
  struct FailRule {
    std::string prefix;
    double rate = 0;
    std::unique_ptr<std::atomic<uint64_t>> count;
  };

  std::vector<std::pair<std::string, int>> latencies_;  // longest prefix first
  std::vector<FailRule> failures_;                      // longest prefix first
};

}  // namespace mr::sandbox

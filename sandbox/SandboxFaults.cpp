#include "sandbox/SandboxFaults.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
SandboxFaults::SandboxFaults(const std::map<std::string, int>& latencyMs,
                             const std::map<std::string, double>& failRate) {
  for (const auto& [prefix, milliseconds] : latencyMs) {
    if (milliseconds > 0) latencies_.emplace_back(prefix, milliseconds);
  }
  std::stable_sort(latencies_.begin(), latencies_.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [prefix, rate] : failRate) {
    failures_.push_back(
        {prefix, std::clamp(rate, 0.0, 1.0), std::make_unique<std::atomic<uint64_t>>(0)});
  }
  std::stable_sort(failures_.begin(), failures_.end(), [](const FailRule& a, const FailRule& b) {
    return a.prefix.size() > b.prefix.size();
  });
}

std::chrono::milliseconds SandboxFaults::latencyFor(std::string_view path) const {
  for (const auto& [prefix, milliseconds] : latencies_) {
    if (path.starts_with(prefix)) return std::chrono::milliseconds(milliseconds);
  }
  return std::chrono::milliseconds(0);
}

bool SandboxFaults::shouldFail(std::string_view path) {
  for (FailRule& rule : failures_) {
    if (!path.starts_with(rule.prefix)) continue;
    const uint64_t n = rule.count->fetch_add(1) + 1;
    const auto before = static_cast<uint64_t>(std::floor(static_cast<double>(n - 1) * rule.rate));
    const auto now = static_cast<uint64_t>(std::floor(static_cast<double>(n) * rule.rate));
    return now > before;
  }
  return false;
}

Result<std::pair<std::string, double>> SandboxFaults::parseRule(std::string_view text) {
  const size_t equals = text.rfind('=');
  const auto refuse = [&] {
    return sandboxError(SandboxError::InvalidParameter,
                        "\"" + std::string(text) + "\" is not PATH-PREFIX=NUMBER");
  };
  if (equals == std::string_view::npos || equals == 0 || text[0] != '/') return refuse();
  const std::string_view number = text.substr(equals + 1);
  double value = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size() ||
      !std::isfinite(value) || value < 0) {
    return refuse();
  }
  return std::pair<std::string, double>(std::string(text.substr(0, equals)), value);
}

}  // namespace mr::sandbox

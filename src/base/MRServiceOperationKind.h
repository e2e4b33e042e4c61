// Names a job of which the service queue holds at most one at a time. The
// layer that owns the job declares its kind and registers how to make it;
// the queue only compares names.
#pragma once

#include <compare>
#include <string_view>

namespace mr {

class MRServiceOperationKind {
 public:
  // Only from literals, so a kind never outlives its name.
  consteval explicit MRServiceOperationKind(std::string_view name) : name_(name) {}

  constexpr std::string_view name() const { return name_; }
  friend constexpr bool operator==(MRServiceOperationKind, MRServiceOperationKind) = default;
  friend constexpr auto operator<=>(MRServiceOperationKind, MRServiceOperationKind) = default;

 private:
  std::string_view name_;
};

}  // namespace mr

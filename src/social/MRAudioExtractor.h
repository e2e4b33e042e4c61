// Turns a downloaded video's sound track into an M4A (AAC, 44.1 kHz) file,
// so a favorite plays offline without the video.
#pragma once

#include <functional>
#include <string>

#include "base/Error.h"

namespace mr {

class MRAudioExtractor {
 public:
  // The share of the source done so far, 0 to 1.
  using Progress = std::function<void(double fraction)>;
  // Asked between blocks: true ends the conversion early with an error.
  using Stop = std::function<bool()>;

  virtual ~MRAudioExtractor() = default;
  // Writes `destination`, replacing it. On an error the destination may be
  // left partly written; the caller removes it.
  [[nodiscard]] virtual Status convert(const std::string& source, const std::string& destination,
                                       const Progress& progress, const Stop& stop) = 0;
};

}  // namespace mr

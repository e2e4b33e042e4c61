// What the commands share: the store, running a job on the main loop as
// the window would, and a progress line.
#pragma once

#include <functional>
#include <string>

#include "app/MRSQLiteStore.h"
#include "base/Env.h"
#include "base/MRServiceOperation.h"

namespace mr::cli {

// Opens the store in the data folder, upgrading an older one.
Status openStore(const Env& env, MRSQLiteStore& store);

// Calls `progress` on the main thread with each report; returns the final
// status (2, 11 or 12).
MRServiceOperationStatus runToCompletion(const Env& env, MRServiceOperation& operation,
                                         const std::function<void(float)>& progress = nullptr);

// A bar on a terminal; a plain line each tenth of the way otherwise.
class ProgressLine {
 public:
  ProgressLine();
  void show(float fraction, const std::string& terminalText, const std::string& plainText);
  void end();

 private:
  bool terminal_;
  int lastTenth_ = -1;
};

}  // namespace mr::cli

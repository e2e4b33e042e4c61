// What a sheet (the favorite-artist input, the music library) asks of the
// window it is shown on: alerts over it, and taking it off when it is done.
#pragma once

#include <functional>

#include "ui/MRScreen.h"

namespace mr {

class MRSheetHost {
 public:
  virtual ~MRSheetHost() = default;
  virtual void showAlert(MRAlert alert, std::function<void(int button)> done) = 0;
  // The sheet is done: the window closes it and tells whoever opened it.
  // The sheet may be destroyed before this returns.
  virtual void endSheet(MRScreen& sheet) = 0;
};

}  // namespace mr

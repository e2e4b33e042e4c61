#include "ui/MRScreen.h"

#include "base/Localization.h"

namespace mr {

MRAlert errorAlert(const std::string& description) {
  MRAlert alert;
  alert.title = localizedString("Error");
  alert.message = description;
  alert.buttons = {localizedString("OK")};
  alert.cancelButton = 0;
  return alert;
}

}  // namespace mr

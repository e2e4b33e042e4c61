#include "ui/MRScreen.h"

namespace mr {

MRAlert errorAlert(const std::string& description) {
  MRAlert alert;
  alert.title = "Error";
  alert.message = description;
  alert.buttons = {"OK"};
  alert.cancelButton = 0;
  return alert;
}

}  // namespace mr

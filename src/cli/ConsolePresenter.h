// Windows and alerts on a terminal: what the window would show, as lines.
#pragma once

#include <iostream>

#include "app/MRAppServices.h"

namespace mr {

class ConsolePresenter final : public MRWindowPresenter {
 public:
  void showMainWindow() override {}
  void closeMainWindow() override {}
  void showWelcomeWindow() override {}
  void closeWelcomeWindow() override {}
  bool presentError(const Error& error) override {
    std::cerr << "mirelune: " << error.description() << "\n";
    return false;
  }
  int runAlert(const std::string& title, const std::string& message,
               const std::vector<std::string>&) override {
    std::cerr << title << ": " << message << "\n";
    return 0;
  }
};

}  // namespace mr

// The desktop window: a WebKitGTK view of the page server's first address.
// It is only a frame around the pages: links that leave our origin open in
// the desktop's browser, and closing it ends the program. Colours follow
// the desktop through the page's prefers-color-scheme.
//
// Lives in its own library (mr_uiwindow) so nothing else links WebKit.
// Main thread only; GTK runs on GLib's default main context.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Error.h"

namespace mr {

class MRDesktopWindow {
 public:
  static constexpr int kDefaultWidth = 1280;
  static constexpr int kDefaultHeight = 800;
  static constexpr int kMinimumWidth = 900;
  static constexpr int kMinimumHeight = 600;

  // Whether the environment names a display (DISPLAY or WAYLAND_DISPLAY).
  static bool displayAvailable();
  // Initialises GTK once; fails when the display cannot be opened.
  static Status initialize();

  struct Callbacks {
    // A navigation off our origin (a followed link), not loaded here.
    std::function<void(const std::string& url)> openExternal;
    // The listener closed the window.
    std::function<void()> closed;
  };

  // `origin` is "http://127.0.0.1:PORT": what stays in the window. Needs
  // initialize() first.
  MRDesktopWindow(std::string origin, Callbacks callbacks);
  ~MRDesktopWindow();
  MRDesktopWindow(const MRDesktopWindow&) = delete;
  MRDesktopWindow& operator=(const MRDesktopWindow&) = delete;

  // Loads `address` (the server's first address) and shows the window.
  void open(const std::string& address);
  // Brings the window to the front (another start asked for it).
  void present();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mr

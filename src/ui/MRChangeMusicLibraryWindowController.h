// The music-library sheet: shows where the library file is read from and
// lets the listener name another file or go back to the default. A page
// has no file chooser of the desktop, so the path is typed or pasted.
//
// Channel "musicLibrary-N" (kind "musicLibrary"):
//   program -> page  app.setMusicLibrary({"path", "defaultPath", "isDefault",
//                      "message"})
//   page -> program  musicLibraryChange (path), musicLibraryReset,
//                    musicLibraryDidEnd (OK; Escape too)
#pragma once

#include <string>

#include "ui/MRScreen.h"
#include "ui/MRSheetHost.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRChangeMusicLibraryWindowController final : public MRScreen {
 public:
  MRChangeMusicLibraryWindowController(MRUiContext& context, MRSheetHost& host);

  std::string kind() const override { return "musicLibrary"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;

  // Stores `path` as the library file when a file is there; otherwise an
  // alert says so and nothing changes.
  void change(const std::string& path);
  // The default path applies again.
  void reset();
  // OK: the sheet closes.
  void close();

  Value state() const;

 private:
  void render();
  void showError(const std::string& description);

  MRUiContext& context_;
  MRSheetHost& host_;
};

}  // namespace mr

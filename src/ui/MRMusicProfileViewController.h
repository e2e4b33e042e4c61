// The music profile's place in the window: for now a screen that says what
// it will show. Drawn by the shell.
//
// Channel "profile-N": app.setProfile({"title", "text"})
#pragma once

#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRMusicProfileViewController final : public MRScreen {
 public:
  explicit MRMusicProfileViewController(MRUiContext& context);

  std::string kind() const override { return "profile"; }
  std::string title() const override;
  void pageDidFinishLoad() override;
  void onAppMessage(const std::string&, const AppParams&) override {}
};

}  // namespace mr

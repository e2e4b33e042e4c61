#include "ui/MRMusicProfileViewController.h"

#include "base/Localization.h"
#include "ui/ScriptCall.h"

namespace mr {

MRMusicProfileViewController::MRMusicProfileViewController(MRUiContext& context) {
  bridge_ = context.hub->open(context.hub->newChannelName("profile"), this);
}

std::string MRMusicProfileViewController::title() const {
  return localizedString("MyMusicProfile");
}

void MRMusicProfileViewController::pageDidFinishLoad() {
  bridge_->evaluate(
      scriptCall("app.setList", Value(Dictionary{
                                    {"title", Value(title())},
                                    {"items", Value(Array{Value(Dictionary{
                                                  {"title", Value(localizedString(
                                                                "MyMusicProfileDescription"))}})})}})));
}

}  // namespace mr

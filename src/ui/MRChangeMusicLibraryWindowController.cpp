#include "ui/MRChangeMusicLibraryWindowController.h"

#include <sys/stat.h>

#include "base/Localization.h"
#include "base/MRUserDefaults.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

MRChangeMusicLibraryWindowController::MRChangeMusicLibraryWindowController(MRUiContext& context,
                                                                           MRSheetHost& host)
    : context_(context), host_(host) {
  bridge_ = context.hub->open(context.hub->newChannelName("musicLibrary"), this);
}

std::string MRChangeMusicLibraryWindowController::title() const {
  return localizedString("welcome.library.title");
}

Value MRChangeMusicLibraryWindowController::state() const {
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  const std::string path = defaults.iTunesMusicLibraryFilePath();
  const std::string fallback = defaults.defaultITunesMusicLibraryFilePath();
  return Value(Dictionary{
      {"path", Value(path)},
      {"defaultPath", Value(fallback)},
      {"isDefault", Value(path == fallback)},
      {"message", Value(localizedString("Please specify the location of 'iTunes Music Library.xml'"))},
  });
}

void MRChangeMusicLibraryWindowController::render() {
  bridge_->evaluate(scriptCall("app.setMusicLibrary", state()));
}

void MRChangeMusicLibraryWindowController::showError(const std::string& description) {
  host_.showAlert(errorAlert(description), [](int) {});
}

void MRChangeMusicLibraryWindowController::change(const std::string& typed) {
  const std::string path = trimmed(typed);
  if (path.empty() || !isRegularFile(path)) {
    // Nothing is stored: the check would only fail on it later.
    showError(localizedString("welcome.library.notFound") + "\n" + path);
    render();
    return;
  }
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  if (Status stored = defaults.setITunesMusicLibraryFilePath(path); !stored.ok()) {
    showError(stored.error().description());
  }
  render();
}

void MRChangeMusicLibraryWindowController::reset() {
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  if (Status stored = defaults.setITunesMusicLibraryFilePath(std::nullopt); !stored.ok()) {
    showError(stored.error().description());
  }
  render();
}

void MRChangeMusicLibraryWindowController::close() { host_.endSheet(*this); }

void MRChangeMusicLibraryWindowController::onAppMessage(const std::string& name,
                                                        const AppParams& params) {
  if (name == "musicLibraryChange") {
    change(appParamText(params, "path"));
  } else if (name == "musicLibraryReset") {
    reset();
  } else if (name == "musicLibraryDidEnd") {
    close();
  }
}

}  // namespace mr

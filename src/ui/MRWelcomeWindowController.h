// The welcome window: what a listener without an authorised account sees
// instead of the main window. Its screens form one navigation stack on the
// "welcome" channel (welcome, terms of use, sign-up or log-in, the first
// analysis); its alerts and sheets are its own too. See web/PROTOCOL.md.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Error.h"
#include "service/ovloAuth.h"
#include "ui/MRAnalyzingProgressViewController.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

// An entry of the store-country list (web/resources/iTunesStoreCountries.json).
struct MRStoreCountry {
  std::string country;  // the name shown
  std::string code;     // two letters; empty for "otherCountry"
};

// What the sign-up form holds when "register" is pressed.
struct MRSignUpInput {
  std::string user;
  std::string pass;
  std::string passConfirm;
  int64_t birthYear = -1;  // -1: not chosen
  int64_t sex = -1;        // -1: not chosen, 0 male, 1 female
  std::optional<std::string> country;  // none: the locale's
};

class MRWelcomeWindowController final : public ScriptBridgeDelegate,
                                        public MRAnalyzingProgressHost {
 public:
  static constexpr const char* kChannel = "welcome";
  static constexpr const char* kTermsPath = "/app/mirelune-tou";
  static constexpr int kFirstBirthYear = 1920;
  static constexpr int kLastBirthYear = 2009;
  // The check accepts a chosen year up to this one.
  static constexpr int kLatestAcceptedBirthYear = 2010;

  enum class Screen { Welcome, TermsOfUse, SignUp, LogIn, Analysis };

  // Opens "welcome" on context.hub; the context must outlive the window.
  // `getStarted` runs (on a later turn of the main loop) when the listener
  // leaves the flow for the main window.
  MRWelcomeWindowController(MRUiContext& context, std::function<void()> getStarted);
  ~MRWelcomeWindowController() override;

  // Shows the welcome screen.
  void showWindow();
  // The screen, the open sheet and the open alerts, sent again. Also done
  // when the page reports the channel's "load".
  void sendWindow();
  // Tells the page to close the overlay; the analysis stops its timer and
  // lets the jobs go; open sheets and alerts are dropped.
  void closeWindow();

  // ---- Navigation
  // "signUp" / "logIn" of the welcome screen: the form, after the terms of
  // use unless the listener agreed to them before.
  void showSignUpForm();
  void showLogInForm();
  // "Yes, I agree": stores the agreement and shows the form that waited.
  void agreeToTermsOfUse();
  // "back": pops the top screen (not the welcome screen, nor a form that
  // is sending).
  void navigateBack();

  // ---- Forms
  // Checks in order, stopping at the first failure, shown as an alert.
  bool validateInputData(const MRSignUpInput& input);
  // "register": the check, then the sign-up request.
  void registerAccount(const MRSignUpInput& input);
  void proceedToSignUp(const MRSignUpInput& input);
  void proceedLoggingIn(const std::string& user, const std::string& pass);

  // ---- The store countries
  static Result<std::vector<MRStoreCountry>> loadStoreCountries(const std::string& path);
  // The position of `code` (any case), or none.
  static std::optional<size_t> indexOfCountryWithCode(const std::vector<MRStoreCountry>& countries,
                                                      const std::string& code);
  // The list the form offers: the resource's countries, then "otherCountry".
  const std::vector<MRStoreCountry>& countries() const { return countries_; }

  // ScriptBridgeDelegate ("welcome").
  void pageDidFinishLoad() override { sendWindow(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;

  // MRAnalyzingProgressHost.
  void analyzingProgressDidChange() override;
  void showAlert(MRAlert alert, std::function<void(int button)> done) override;
  void endSheet(MRScreen& sheet) override;
  void beginSheet(std::shared_ptr<MRScreen> sheet, std::function<void()> didEnd) override;
  void analyzingProgressDidGetStarted() override;

  const std::vector<Screen>& screens() const { return stack_; }
  MRAnalyzingProgressViewController* analyzingProgress() const { return analysis_.get(); }
  const std::shared_ptr<MRScreen>& sheet() const { return sheet_; }
  bool isSending() const { return sending_; }
  // The screen as sent with app.setWelcome.
  Value screenState() const;

 private:
  // The answers of a sign-up or log-in, taken on the main thread while the
  // window lives: `succeeded` then the analysis, or the error alert (the
  // platform's text of its code, or `failurePrefix` and the error).
  std::pair<ovloAuthCompletion, ovloAuthFailure> authAnswers(std::function<void()> succeeded,
                                                             std::string failurePrefix);
  struct PendingAlert {
    Value call;  // the argument of app.showAlert
    std::function<void(int)> done;
  };

  void push(Screen screen);
  void pushAnalysis();
  void sendScreen();
  void alertDidEnd(int id, int button);
  void showErrorAlert(const std::string& message);
  std::string authResultText(int32_t code, const std::string& message) const;
  Value signUpState() const;

  MRUiContext& context_;
  std::function<void()> getStarted_;
  std::unique_ptr<ScriptBridge> bridge_;
  std::vector<Screen> stack_;
  Screen afterTerms_ = Screen::SignUp;
  std::unique_ptr<MRAnalyzingProgressViewController> analysis_;
  std::vector<MRStoreCountry> countries_;
  MRSignUpInput form_;
  std::string logInUser_;
  bool sending_ = false;
  bool closed_ = false;
  std::string lastScreen_;
  std::shared_ptr<MRScreen> sheet_;
  std::function<void()> sheetDidEnd_;
  std::map<int, PendingAlert> alerts_;
  int nextAlertId_ = 1;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace mr

#include "ui/MRWelcomeWindowController.h"

#include <algorithm>
#include <cctype>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/MRUserDefaults.h"
#include "base/SystemLocale.h"
#include "service/ovloAuth.h"
#include "ui/ScriptCall.h"
#include "ui/UiServer.h"

namespace mr {

namespace {

constexpr const char* kCountriesResource = "/resources/iTunesStoreCountries.json";

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* screenName(MRWelcomeWindowController::Screen screen) {
  switch (screen) {
    case MRWelcomeWindowController::Screen::Welcome:
      return "welcome";
    case MRWelcomeWindowController::Screen::TermsOfUse:
      return "terms";
    case MRWelcomeWindowController::Screen::SignUp:
      return "signUp";
    case MRWelcomeWindowController::Screen::LogIn:
      return "logIn";
    case MRWelcomeWindowController::Screen::Analysis:
      return "analysis";
  }
  return "welcome";
}

int64_t choiceParam(const AppParams& params, const char* key) {
  auto found = params.find(key);
  if (found == params.end() || found->second.empty()) return -1;
  char* end = nullptr;
  const long long value = std::strtoll(found->second.c_str(), &end, 10);
  return (end && *end == '\0') ? value : -1;
}

}  // namespace

MRWelcomeWindowController::MRWelcomeWindowController(MRUiContext& context,
                                                     std::function<void()> getStarted)
    : context_(context), getStarted_(std::move(getStarted)) {
  bridge_ = context.hub->open(kChannel, this);
  auto loaded = loadStoreCountries(UiServer::defaultWebDir() + kCountriesResource);
  if (loaded.ok()) {
    countries_ = std::move(*loaded);
  } else {
    // The form still works: the locale's country goes with the sign-up.
    log::warning("welcome: the store countries were not read: {}", loaded.error().toString());
  }
  countries_.push_back({localizedString("otherCountry"), ""});
}

MRWelcomeWindowController::~MRWelcomeWindowController() {
  *alive_ = false;
  if (analysis_) analysis_->viewWillDisappear();
  if (sheet_) sheet_->screenWillDisappear();
}

// ---- The store countries

Result<std::vector<MRStoreCountry>> MRWelcomeWindowController::loadStoreCountries(
    const std::string& path) {
  auto text = readFileToString(path);
  if (!text.ok()) return text.error();
  auto parsed = parseJson(*text);
  if (!parsed.ok()) return parsed.error();
  const Array* list = parsed->asArray();
  if (!list) return Error(kMireluneErrorDomain, 1, path + " is not a JSON array");
  std::vector<MRStoreCountry> countries;
  for (const auto& entry : *list) {
    const Value* name = entry.get("Country");
    const Value* code = entry.get("Code");
    if (!name || !code || !name->asString() || !code->asString()) continue;
    countries.push_back({*name->asString(), lowercased(*code->asString())});
  }
  return countries;
}

std::optional<size_t> MRWelcomeWindowController::indexOfCountryWithCode(
    const std::vector<MRStoreCountry>& countries, const std::string& code) {
  const std::string wanted = lowercased(code);
  if (wanted.empty()) return std::nullopt;
  for (size_t i = 0; i < countries.size(); ++i) {
    if (countries[i].code == wanted) return i;
  }
  return std::nullopt;
}

// ---- The window

void MRWelcomeWindowController::showWindow() {
  closed_ = false;
  if (stack_.empty()) stack_.push_back(Screen::Welcome);
  sendWindow();
}

void MRWelcomeWindowController::sendWindow() {
  if (closed_ || stack_.empty()) return;
  lastScreen_.clear();
  sendScreen();
  if (sheet_) {
    bridge_->evaluate(scriptCall("app.showSheet", Value(Dictionary{{"channel", Value(sheet_->channel())},
                                                                   {"kind", Value(sheet_->kind())},
                                                                   {"title", Value(sheet_->title())}})));
  }
  for (const auto& [id, alert] : alerts_)
    bridge_->evaluate(scriptCall("app.showAlert", alert.call));
}

void MRWelcomeWindowController::closeWindow() {
  if (analysis_) analysis_->viewWillDisappear();
  if (sheet_) {
    sheet_->screenWillDisappear();
    // Kept until the loop turns: the sheet may be the one calling.
    context_.environment().main().post([gone = std::move(sheet_)] {});
    sheet_.reset();
    sheetDidEnd_ = nullptr;
  }
  alerts_.clear();
  closed_ = true;
  bridge_->evaluate("app.closeWelcome()");
}

Value MRWelcomeWindowController::screenState() const {
  const Screen top = stack_.empty() ? Screen::Welcome : stack_.back();
  Dictionary state;
  if (top == Screen::Analysis && analysis_) {
    Value analysis = analysis_->state();
    if (const Dictionary* fields = analysis.asDictionary()) state = *fields;
  }
  state.set("screen", Value(screenName(top)));
  state.set("canGoBack", Value(stack_.size() > 1 && !sending_ &&
                               !(top == Screen::Analysis && analysis_ && analysis_->isReady())));
  switch (top) {
    case Screen::TermsOfUse:
      state.set("url", Value(context_.config().mireluneWebBaseUrl + kTermsPath));
      break;
    case Screen::SignUp: {
      Value form = signUpState();
      for (const auto& [key, value] : *form.asDictionary())
        state.set(key, value);
      break;
    }
    case Screen::LogIn:
      state.set("busy", Value(sending_));
      state.set("values", Value(Dictionary{{"user", Value(logInUser_)}}));
      break;
    default:
      break;
  }
  return Value(std::move(state));
}

Value MRWelcomeWindowController::signUpState() const {
  const std::string select = localizedString("cellCaption_Select");
  Array years;
  years.emplace_back(Dictionary{{"tag", Value(-1)}, {"title", Value(select)}});
  for (int year = kFirstBirthYear; year <= kLastBirthYear; ++year)
    years.emplace_back(Dictionary{{"tag", Value(year)}, {"title", Value(std::to_string(year))}});
  Array sexes;
  sexes.emplace_back(Dictionary{{"tag", Value(-1)}, {"title", Value(select)}});
  sexes.emplace_back(Dictionary{{"tag", Value(0)}, {"title", Value(localizedString("male"))}});
  sexes.emplace_back(Dictionary{{"tag", Value(1)}, {"title", Value(localizedString("female"))}});
  Array countries;
  for (const auto& country : countries_)
    countries.emplace_back(Dictionary{{"code", Value(country.code)}, {"title", Value(country.country)}});
  // The listener's own country is chosen until another is.
  const std::string code = form_.country.value_or(lowercased(currentRegionCode()));
  const auto index = indexOfCountryWithCode(countries_, code);
  return Value(Dictionary{
      {"busy", Value(sending_)},
      {"birthYears", Value(std::move(years))},
      {"sexes", Value(std::move(sexes))},
      {"countries", Value(std::move(countries))},
      {"values", Value(Dictionary{{"user", Value(form_.user)},
                                  {"birthYear", Value(form_.birthYear)},
                                  {"sex", Value(form_.sex)},
                                  {"country", index ? Value(countries_[*index].code) : Value("")}})},
  });
}

void MRWelcomeWindowController::sendScreen() {
  if (closed_) return;
  const std::string call = scriptCall("app.setWelcome", screenState());
  // The analysis ticks five times a second; unchanged screens are not sent.
  if (call == lastScreen_) return;
  lastScreen_ = call;
  bridge_->evaluate(call);
}

void MRWelcomeWindowController::push(Screen screen) {
  stack_.push_back(screen);
  sendScreen();
}

void MRWelcomeWindowController::pushAnalysis() {
  if (!stack_.empty() && stack_.back() == Screen::Analysis) return;
  analysis_ = std::make_unique<MRAnalyzingProgressViewController>(context_, *this);
  stack_.push_back(Screen::Analysis);
  analysis_->viewDidLoad();
  sendScreen();
}

void MRWelcomeWindowController::showSignUpForm() {
  const Env& env = context_.environment();
  if (MRUserDefaults(env.settings(), env.paths().home).isUserAgreedTOU()) {
    push(Screen::SignUp);
  } else {
    afterTerms_ = Screen::SignUp;
    push(Screen::TermsOfUse);
  }
}

void MRWelcomeWindowController::showLogInForm() {
  const Env& env = context_.environment();
  if (MRUserDefaults(env.settings(), env.paths().home).isUserAgreedTOU()) {
    push(Screen::LogIn);
  } else {
    afterTerms_ = Screen::LogIn;
    push(Screen::TermsOfUse);
  }
}

void MRWelcomeWindowController::agreeToTermsOfUse() {
  if (stack_.empty() || stack_.back() != Screen::TermsOfUse) return;
  const Env& env = context_.environment();
  if (Status stored = MRUserDefaults(env.settings(), env.paths().home).setUserAgreedTOU(true);
      !stored.ok()) {
    showErrorAlert(stored.error().description());
    return;
  }
  push(afterTerms_);
}

void MRWelcomeWindowController::navigateBack() {
  if (stack_.size() < 2 || sending_) return;
  if (stack_.back() == Screen::Analysis) {
    if (analysis_) analysis_->viewWillDisappear();
    // Its alerts and sheet may still call it until the loop turns.
    context_.environment().main().post([gone = std::shared_ptr<MRAnalyzingProgressViewController>(
                                            std::move(analysis_))] {});
  }
  stack_.pop_back();
  sendScreen();
}

// ---- Forms

void MRWelcomeWindowController::showErrorAlert(const std::string& message) {
  showAlert(errorAlert(message), [](int) {});
}

bool MRWelcomeWindowController::validateInputData(const MRSignUpInput& input) {
  auto refuse = [this](const char* titleKey, const char* messageKey) {
    MRAlert alert;
    alert.title = localizedString(titleKey);
    alert.message = localizedString(messageKey);
    alert.buttons = {localizedString("OK")};
    alert.cancelButton = 0;
    showAlert(std::move(alert), [](int) {});
    return false;
  };
  if (input.user.empty()) return refuse("error", "checkFormInput_AlertMsg_InputUserName");
  if (input.pass.empty()) return refuse("error", "checkFormInput_AlertMsg_InputPassword");
  if (input.pass != input.passConfirm) return refuse("warning", "checkFormInput_AlertMsg_PassNotMatch");
  if (input.birthYear >= 1 &&
      (input.birthYear < kFirstBirthYear || input.birthYear > kLatestAcceptedBirthYear)) {
    return refuse("error", "checkFormInput_AlertMsg_InputBirth");
  }
  return true;
}

void MRWelcomeWindowController::registerAccount(const MRSignUpInput& input) {
  if (sending_) return;
  // What the form shows again after a reconnect; never the passwords.
  form_.user = input.user;
  form_.birthYear = input.birthYear;
  form_.sex = input.sex;
  form_.country = input.country;
  if (!validateInputData(input)) return;
  proceedToSignUp(input);
}

std::string MRWelcomeWindowController::authResultText(int32_t code,
                                                      const std::string& message) const {
  const std::string key = "OVLO_AUTH_RET_" + std::to_string(code);
  return localizedString(key, message.empty() ? key : message);
}

std::pair<ovloAuthCompletion, ovloAuthFailure> MRWelcomeWindowController::authAnswers(
    std::function<void()> succeeded, std::string failurePrefix) {
  Dispatcher& main = context_.environment().main();
  std::weak_ptr<bool> alive = alive_;
  ovloAuthCompletion completion = [this, alive, &main, succeeded](bool, int32_t code,
                                                                  std::string message) {
    main.post([this, alive, succeeded, code, message] {
      if (alive.expired()) return;
      sending_ = false;
      if (code == 0) {
        if (succeeded) succeeded();
        pushAnalysis();
        return;
      }
      sendScreen();
      showErrorAlert(authResultText(code, message));
    });
  };
  ovloAuthFailure failure = [this, alive, &main, failurePrefix](const Error& error) {
    main.post([this, alive, failurePrefix, error] {
      if (alive.expired()) return;
      sending_ = false;
      sendScreen();
      showErrorAlert(failurePrefix + error.description());
    });
  };
  return {std::move(completion), std::move(failure)};
}

void MRWelcomeWindowController::proceedToSignUp(const MRSignUpInput& input) {
  if (sending_) return;
  auto auth = context_.auth;
  const std::string country =
      input.country && !input.country->empty() ? *input.country : lowercased(currentRegionCode());
  sending_ = true;
  sendScreen();
  auto answers = authAnswers([this] { form_ = MRSignUpInput{}; },
                             localizedString("onSignUp_AlertMsg_Failed") + "\n");
  auto operation = auth ? auth->signupWithUser(input.user, input.pass, context_.config().consumerId,
                                               country, input.birthYear, input.sex,
                                               std::move(answers.first), std::move(answers.second))
                        : nullptr;
  if (!operation) {
    sending_ = false;
    sendScreen();
    showErrorAlert(localizedString("onSignUp_AlertMsg_Failed"));
  }
}

void MRWelcomeWindowController::proceedLoggingIn(const std::string& user, const std::string& pass) {
  if (sending_) return;
  logInUser_ = user;
  auto auth = context_.auth;
  sending_ = true;
  sendScreen();
  auto answers = authAnswers(nullptr, "");
  auto operation = auth ? auth->loginWithUser(user, pass, context_.config().consumerId,
                                              std::move(answers.first), std::move(answers.second))
                        : nullptr;
  if (!operation) {
    // A name or password is missing: the platform would refuse it the same way.
    sending_ = false;
    sendScreen();
    showErrorAlert(authResultText(ovloAuth::kNoAccountInResult, ""));
  }
}

// ---- Alerts and sheets

void MRWelcomeWindowController::showAlert(MRAlert alert, std::function<void(int button)> done) {
  const int id = nextAlertId_++;
  Array buttons;
  for (const auto& button : alert.buttons)
    buttons.emplace_back(button);
  Value call(Dictionary{
      {"id", Value(id)},
      {"title", Value(alert.title)},
      {"message", Value(alert.message)},
      {"buttons", Value(std::move(buttons))},
      {"cancel", alert.cancelButton >= 0 ? Value(alert.cancelButton) : Value()},
      {"destructive", alert.destructiveButton >= 0 ? Value(alert.destructiveButton) : Value()},
      {"sheet", Value(alert.actionSheet)}});
  if (!closed_) bridge_->evaluate(scriptCall("app.showAlert", call));
  alerts_[id] = PendingAlert{std::move(call), std::move(done)};
}

void MRWelcomeWindowController::alertDidEnd(int id, int button) {
  auto found = alerts_.find(id);
  if (found == alerts_.end()) return;
  auto done = std::move(found->second.done);
  alerts_.erase(found);
  bridge_->evaluate("app.closeAlert(" + std::to_string(id) + ")");
  if (done) done(button);
}

void MRWelcomeWindowController::beginSheet(std::shared_ptr<MRScreen> sheet,
                                           std::function<void()> didEnd) {
  if (!sheet) return;
  if (sheet_) {
    sheet_->screenWillDisappear();
    context_.environment().main().post([gone = std::move(sheet_)] {});
  }
  sheet_ = std::move(sheet);
  sheetDidEnd_ = std::move(didEnd);
  if (closed_) return;
  bridge_->evaluate(scriptCall("app.showSheet", Value(Dictionary{{"channel", Value(sheet_->channel())},
                                                                 {"kind", Value(sheet_->kind())},
                                                                 {"title", Value(sheet_->title())}})));
}

void MRWelcomeWindowController::endSheet(MRScreen& sheet) {
  if (sheet_.get() != &sheet) return;
  sheet_->screenWillDisappear();
  // The sheet is the caller: it goes when the loop turns.
  context_.environment().main().post([gone = std::move(sheet_)] {});
  sheet_.reset();
  auto done = std::move(sheetDidEnd_);
  sheetDidEnd_ = nullptr;
  bridge_->evaluate("app.closeSheet()");
  if (done) done();
}

// ---- The analysis

void MRWelcomeWindowController::analyzingProgressDidChange() {
  if (!stack_.empty() && stack_.back() == Screen::Analysis) sendScreen();
}

void MRWelcomeWindowController::analyzingProgressDidGetStarted() {
  std::weak_ptr<bool> alive = alive_;
  // On the next turn, so whoever it calls may close and drop this window.
  context_.environment().main().post([this, alive] {
    if (!alive.expired() && getStarted_) getStarted_();
  });
}

// ---- The page's requests

void MRWelcomeWindowController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name == "showSignUp") {
    showSignUpForm();
  } else if (name == "showLogIn") {
    showLogInForm();
  } else if (name == "agree") {
    agreeToTermsOfUse();
  } else if (name == "navigateBack") {
    navigateBack();
  } else if (name == "register") {
    if (stack_.empty() || stack_.back() != Screen::SignUp) return;
    MRSignUpInput input;
    input.user = appParamText(params, "user");
    input.pass = appParamText(params, "pass");
    input.passConfirm = appParamText(params, "passConfirm");
    input.birthYear = choiceParam(params, "birthYear");
    input.sex = choiceParam(params, "sex");
    const std::string country = appParamText(params, "country");
    if (!country.empty()) input.country = lowercased(country);
    registerAccount(input);
  } else if (name == "logIn") {
    if (stack_.empty() || stack_.back() != Screen::LogIn) return;
    proceedLoggingIn(appParamText(params, "user"), appParamText(params, "pass"));
  } else if (name == "getStarted") {
    if (analysis_ && !stack_.empty() && stack_.back() == Screen::Analysis) analysis_->getStarted();
  } else if (name == "alertDidEnd") {
    const bool dismissed = params.find("button") == params.end();
    alertDidEnd(appParamInt(params, "id"), dismissed ? -1 : appParamInt(params, "button"));
  } else {
    log::debug("welcome: the request {} is not handled", name);
  }
}

}  // namespace mr

#include "base/NotificationCenter.h"

#include "base/Env.h"

namespace mr {
namespace {

SharedInstance<NotificationCenter>& shared() {
  static SharedInstance<NotificationCenter> instance;
  return instance;
}

}  // namespace

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
  return shared().get(
      [] { return std::make_shared<NotificationCenter>(Env::defaultEnv().main()); });
}

void NotificationCenter::setDefaultCenter(std::shared_ptr<NotificationCenter> center) {
  shared().replace(std::move(center));
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name,
                                                          Observer observer) {
  std::lock_guard guard(mutex_);
  const Token token = next_++;
  observers_[token] = Entry{name, std::make_shared<Observer>(std::move(observer))};
  return token;
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard guard(mutex_);
  observers_.erase(token);
}

void NotificationCenter::post(Notification notification) {
  main_.post([this, notification = std::move(notification)] {
    std::vector<std::pair<Token, std::shared_ptr<Observer>>> matching;
    {
      std::lock_guard guard(mutex_);
      for (const auto& [token, entry] : observers_) {
        if (entry.name.empty() || entry.name == notification.name)
          matching.emplace_back(token, entry.observer);
      }
    }
    for (const auto& [token, observer] : matching) {
      {
        // Removed by an earlier observer of this very notice.
        std::lock_guard guard(mutex_);
        if (!observers_.contains(token)) continue;
      }
      (*observer)(notification);
    }
  });
}

}  // namespace mr

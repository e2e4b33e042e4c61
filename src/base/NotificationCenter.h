// Named notices with an object and a dictionary of extras, delivered to
// observers on the main loop, in the order they were posted.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Dispatcher.h"

namespace mr {

struct Notification {
  std::string name;
  std::shared_ptr<void> object;  // who posted it
  std::map<std::string, std::any> userInfo;

  // The object as the type its poster documents, or nullptr.
  template <class T>
  std::shared_ptr<T> objectAs() const {
    return std::static_pointer_cast<T>(object);
  }
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;
  using Token = uint64_t;

  explicit NotificationCenter(Dispatcher& main) : main_(main) {}

  // The program's centre, over the default surroundings' main loop; tests
  // make their own or replace it.
  static std::shared_ptr<NotificationCenter> defaultCenter();
  static void setDefaultCenter(std::shared_ptr<NotificationCenter> center);

  // `name` empty: every notice.
  Token addObserver(const std::string& name, Observer observer);
  // No call of the observer starts after this returns on the main thread.
  void removeObserver(Token token);

  // From any thread; observers run on the main loop.
  void post(Notification notification);
  void post(const std::string& name, std::shared_ptr<void> object,
            std::map<std::string, std::any> userInfo = {}) {
    post(Notification{name, std::move(object), std::move(userInfo)});
  }

 private:
  struct Entry {
    std::string name;
    std::shared_ptr<Observer> observer;
  };

  Dispatcher& main_;
  std::mutex mutex_;
  std::map<Token, Entry> observers_;
  Token next_ = 1;
};

}  // namespace mr

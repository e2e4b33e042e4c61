// The engine's response cache for plain-HTTP GETs: the last few answers in
// memory and every answer on disk, with the validators to revalidate them.
#pragma once

#include <list>
#include <mutex>
#include <optional>
#include <string>

#include "base/HttpEngine.h"

namespace mr {

class HttpCache {
 public:
  struct Entry {
    long status = 200;
    HttpHeaders headers;
    Bytes body;
    std::string etag;
    std::string lastModified;
    std::optional<double> expires;  // seconds since 1970
  };

  static constexpr size_t kMemoryEntries = 10;

  // `folder` empty: memory only.
  explicit HttpCache(std::string folder);

  static bool isCacheable(const HttpRequest& request);
  static std::string keyFor(const HttpRequest& request);
  // The time an answer stops being fresh: max-age, else Expires.
  static std::optional<double> expiryOf(const HttpHeaders& headers, Date now);

  std::optional<Entry> lookup(const std::string& key);
  void store(const std::string& key, const Entry& entry);
  void remove(const std::string& key);

 private:
  void remember(const std::string& key, const Entry& entry);

  const std::string folder_;
  std::mutex mutex_;
  std::list<std::pair<std::string, Entry>> memory_;  // most recent first
};

}  // namespace mr

#include "base/HttpCache.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"
#include "base/StringAdditions.h"
#include "base/Url.h"

namespace mr {

HttpCache::HttpCache(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty()) {
    if (Status made = makeDirectories(folder_); !made.ok()) {
      log::warning("HTTP cache off: {}", made.error().toString());
    }
  }
}

bool HttpCache::isCacheable(const HttpRequest& request) {
  if (!request.useCache || request.method != "GET" || request.downloadPath) return false;
  const auto url = Url::parse(request.url);
  return url && url->scheme == "http";
}

std::string HttpCache::keyFor(const HttpRequest& request) {
  return MD5DigestString(request.method + " " + request.url);
}

std::optional<double> HttpCache::expiryOf(const HttpHeaders& headers, Date now) {
  HttpResponse view;
  view.headers = headers;
  const std::string control = view.header("Cache-Control");
  const size_t maxAge = control.find("max-age=");
  if (maxAge != std::string::npos) {
    return now.secondsSince1970 +
           static_cast<double>(stringIntegerValue(control.substr(maxAge + 8)));
  }
  const std::string expires = view.header("Expires");
  if (expires.empty()) return std::nullopt;
  if (auto date = parseDateWithFormat(expires, "EEE, dd MMM yyyy HH:mm:ss z")) {
    return date->secondsSince1970;
  }
  return now.secondsSince1970;  // an unreadable date counts as already past
}

std::optional<HttpCache::Entry> HttpCache::lookup(const std::string& key) {
  {
    std::lock_guard guard(mutex_);
    for (auto it = memory_.begin(); it != memory_.end(); ++it) {
      if (it->first != key) continue;
      memory_.splice(memory_.begin(), memory_, it);
      return memory_.front().second;
    }
  }
  if (folder_.empty()) return std::nullopt;
  auto meta = readFileToString(folder_ + "/" + key + ".meta");
  auto body = readFileToString(folder_ + "/" + key + ".body");
  if (!meta.ok() || !body.ok()) return std::nullopt;
  auto parsed = parseJson(*meta, true);
  if (!parsed.ok()) return std::nullopt;
  Entry entry;
  entry.status = parsed->intForKey("status", 200);
  entry.etag = parsed->stringForKey("etag", "");
  entry.lastModified = parsed->stringForKey("lastModified", "");
  if (const Value* expires = parsed->get("expires")) entry.expires = expires->numberAsDouble();
  if (const Array* headers = parsed->arrayForKey("headers")) {
    for (const auto& pair : *headers) {
      const Array* fields = pair.asArray();
      if (fields == nullptr || fields->size() != 2) continue;
      entry.headers.emplace_back(*(*fields)[0].asString(), *(*fields)[1].asString());
    }
  }
  entry.body.assign(body->begin(), body->end());
  remember(key, entry);
  return entry;
}

void HttpCache::store(const std::string& key, const Entry& entry) {
  remember(key, entry);
  if (folder_.empty()) return;
  Value meta = Value::dictionary();
  meta.set("status", Value(static_cast<int64_t>(entry.status)));
  meta.set("etag", Value(entry.etag));
  meta.set("lastModified", Value(entry.lastModified));
  if (entry.expires) meta.set("expires", Value(*entry.expires));
  Array headers;
  for (const auto& [name, value] : entry.headers)
    headers.emplace_back(Array{Value(name), Value(value)});
  meta.set("headers", Value(std::move(headers)));
  const std::string body(entry.body.begin(), entry.body.end());
  Status status = writeFileAtomically(folder_ + "/" + key + ".body", body, 0600);
  if (status.ok())
    status = writeFileAtomically(folder_ + "/" + key + ".meta", toJson(meta, {false, true}), 0600);
  if (!status.ok()) log::warning("HTTP cache: {}", status.error().toString());
}

void HttpCache::remove(const std::string& key) {
  {
    std::lock_guard guard(mutex_);
    memory_.remove_if([&key](const auto& cached) { return cached.first == key; });
  }
  if (folder_.empty()) return;
  std::remove((folder_ + "/" + key + ".meta").c_str());
  std::remove((folder_ + "/" + key + ".body").c_str());
}

void HttpCache::remember(const std::string& key, const Entry& entry) {
  std::lock_guard guard(mutex_);
  memory_.remove_if([&key](const auto& cached) { return cached.first == key; });
  memory_.emplace_front(key, entry);
  if (memory_.size() > kMemoryEntries) memory_.pop_back();
}

}  // namespace mr

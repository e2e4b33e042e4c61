// Acts on a URL handed to the program ("mirelune url <URL>", or the desktop's
// URL handler). Only "oauth-complete" is known: the browser's return from
// linking a social account.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace mr {

class MRAppSession;

class MRURLHandler {
 public:
  MRURLHandler(std::string url, MRAppSession& session);

  // True when the URL was handled.
  bool handleURL();
  // subject = host; pathParts = path split at "/"; parameters from the
  // query's "k=v" pieces (pieces without "=" skipped, no percent-decoding).
  void explodeURL();
  // 1 for "oauth-complete", else 0.
  int determineSubjectType() const;
  bool handleOAuthComplete();

  const std::string& url() const { return url_; }
  const std::string& subject() const { return subject_; }
  const std::vector<std::string>& pathParts() const { return pathParts_; }
  const std::map<std::string, std::string>& parameters() const { return parameters_; }

 private:
  std::string url_;
  MRAppSession& session_;
  std::string subject_;
  std::vector<std::string> pathParts_;
  std::map<std::string, std::string> parameters_;
};

}  // namespace mr

#include "app/MRURLHandler.h"

#include "app/MRAppSession.h"
#include "base/Url.h"

namespace mr {

MRURLHandler::MRURLHandler(std::string url, MRAppSession& session)
    : url_(std::move(url)), session_(session) {}

bool MRURLHandler::handleURL() {
  explodeURL();
  if (determineSubjectType() == 1) return handleOAuthComplete();
  return false;
}

void MRURLHandler::explodeURL() {
  const auto parsed = Url::parse(url_);
  subject_ = parsed ? parsed->host : std::string();
  const std::string path = parsed ? parsed->path : std::string();
  const std::string query = parsed ? parsed->query : std::string();

  pathParts_.clear();
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    pathParts_.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }

  parameters_.clear();
  start = 0;
  while (parsed && parsed->hasQuery) {
    const size_t amp = query.find('&', start);
    const std::string piece = query.substr(start, amp == std::string::npos ? amp : amp - start);
    const size_t equals = piece.find('=');
    if (equals != std::string::npos) {
      const std::string value = piece.substr(equals + 1);
      parameters_[piece.substr(0, equals)] = value.substr(0, value.find('='));
    }
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
}

int MRURLHandler::determineSubjectType() const {
  return subject_ == "oauth-complete" ? 1 : 0;
}

bool MRURLHandler::handleOAuthComplete() {
  session_.updateConnections();
  return true;
}

}  // namespace mr

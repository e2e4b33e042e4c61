#include "service/MRAPIUsageLog.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIUsageLog::logLaunch() const {
  return post("usage_log/launch", Dictionary{}, {}, {});
}

std::shared_ptr<HttpOperation> MRAPIUsageLog::logSearchKeywordWithArtistName(
    const std::optional<std::string>& artistName) const {
  Dictionary parameters;
  if (artistName) parameters.set("artistName", Value(*artistName));
  return post("usage_log/search_keyword", parameters, {}, {});
}

}  // namespace mr

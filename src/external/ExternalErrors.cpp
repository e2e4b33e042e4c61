#include "external/ExternalErrors.h"

#include <string>

#include "base/HttpEngine.h"
#include "external/LBYouTubeVideoExtractor.h"
#include "external/LastfmAPI.h"

namespace mr {

Error malformedAnswerError(std::string_view service, std::string_view problem) {
  return Error(kParseErrorDomain, kMalformedAnswerErrorCode,
               "The " + std::string(service) + " answer is malformed: " + std::string(problem));
}

bool isTemporaryFailure(const Error& error) {
  if (isTemporaryHttpFailure(error)) return true;
  if (error.domain() == kParseErrorDomain) return true;
  if (error.domain() == kLastfmErrorDomain) {
    return error.code() == kLastfmErrorServiceOffline ||
           error.code() == kLastfmErrorTemporarilyUnavailable ||
           error.code() == kLastfmErrorRateLimitExceeded;
  }
  if (error.domain() == kLBYouTubeErrorDomain) return error.code() == kLBYouTubeErrorNoData;
  return false;
}

}  // namespace mr

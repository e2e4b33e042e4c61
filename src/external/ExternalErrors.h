// How the outside services' clients fail, and which failures are worth
// another try later.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/Error.h"

namespace mr {

// An answer that is not one the service gives: not XML or JSON, nested too
// deeply, or without the parts every answer of its kind has (a proxy's or
// an outage page, a cut or garbled body). Its error has kParseErrorDomain
// and this code; it is never taken for "nothing found", which is a
// well-formed answer that lists nothing.
inline constexpr int64_t kMalformedAnswerErrorCode = 100;
Error malformedAnswerError(std::string_view service, std::string_view problem);

// True for a failure that may well not happen on a later try, so the work
// that met it is worth keeping for later rather than dropping:
//  - the transport's temporary failures (isTemporaryHttpFailure: time-outs,
//    hosts not found, connections refused or lost, statuses 5xx and 429);
//  - Last.fm's "service offline" (11), "temporary error" (16) and "rate
//    limit exceeded" (29);
//  - an answer that did not parse (kParseErrorDomain, as made by the
//    clients and the readers under them): proxies and outages give them;
//  - a watch page without the video's data (the extractor's code 3), which
//    such pages give too.
// False for everything else: Last.fm's "not found" and its other codes,
// other refusals (4xx), cancels, answers over the size limit, a link the
// extractor may not fetch or an empty page (code 1), and a watch page
// without a stream (code 2).
bool isTemporaryFailure(const Error& error);

}  // namespace mr

// The Last.fm web service 2.0: artists, their top tracks and similar
// artists, tracks and their similar tracks. Requests are spaced 0.3 s apart
// (the service's rate rule), answers are XML parsed off the main thread,
// and completions run on the main thread. Errors run on the background
// pool: the service's own (domain "last.fm"), the transport's, or a
// malformed answer (kMalformedAnswerErrorCode); an answer that lists
// nothing is a completion with an empty list.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "external/ExternalEngine.h"
#include "model/LastfmArtist.h"
#include "model/LastfmTrack.h"

namespace mr {

inline constexpr const char* kLastfmErrorDomain = "last.fm";
// The service's codes for failures that pass.
inline constexpr int64_t kLastfmErrorServiceOffline = 11;
inline constexpr int64_t kLastfmErrorTemporarilyUnavailable = 16;
inline constexpr int64_t kLastfmErrorRateLimitExceeded = 29;

using LastfmErrorBlock = std::function<void(const Error& error)>;

class LastfmAPI : public ExternalEngine {
 public:
  static constexpr double kRequestInterval = 0.30000001192092896;  // 0.3 as a float

  LastfmAPI(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl,
            std::string apiKey);
  static std::shared_ptr<LastfmAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<LastfmAPI> instance);

  // Last.fm calls Japanese "jp".
  static std::string fixLanguageCode(const std::string& language);
  // The error of a failed answer: domain "last.fm" with the service's code
  // and text, when the body is the service's XML; nullopt otherwise.
  static std::optional<Error> parseErrorResponse(const std::string& body);
  // Blocks the calling thread until 0.3 s have passed since the previous
  // request was released.
  void waitUntilRequestable();
  // How many requests were released so far.
  int64_t requestCount() const { return requestCount_.load(); }

  // Each returns the request, or nullptr when nothing was sent.
  std::shared_ptr<HttpOperation> requestArtist_GetInfoByName(
      const std::string& name, const std::string& language, bool autocorrect,
      std::function<void(LastfmArtist)> completion, LastfmErrorBlock error);
  // Page 0 asks for page 1 and limit 0 for 50.
  std::shared_ptr<HttpOperation> requestArtist_GetTopTracks(
      const std::string& name, bool autocorrect, int page, int limit,
      std::function<void(std::vector<LastfmTrack>)> completion, LastfmErrorBlock error);
  std::shared_ptr<HttpOperation> requestArtist_searchWithArtistName(
      const std::string& name, int limit, std::function<void(std::vector<LastfmArtist>)> completion,
      LastfmErrorBlock error);
  std::shared_ptr<HttpOperation> requestArtist_GetSimilarWithName(
      const std::string& name, int limit, bool autocorrect,
      std::function<void(std::vector<LastfmArtist>)> completion, LastfmErrorBlock error);
  std::shared_ptr<HttpOperation> requestTrack_GetInfoByName(
      const std::string& track, const std::string& artist, bool autocorrect,
      std::function<void(LastfmTrack)> completion, LastfmErrorBlock error);
  // Limit 0 asks for 250.
  std::shared_ptr<HttpOperation> requestTrack_GetSimilar(
      const std::string& track, const std::string& artist, bool autocorrect, int limit,
      std::function<void(std::vector<LastfmTrack>)> completion, LastfmErrorBlock error);

  // The parsers, for any answer text. An answer is an <lfm> document; one
  // whose status is "failed" gives the service's error. The info parsers
  // need their element ("lfm/artist"); the list parsers need the list's
  // element (the path without its last step, as "lfm/similartracks") and
  // take its members, none when it has none. Anything else is malformed.
  static Result<LastfmArtist> parseArtistInfo(const std::string& xml);
  static Result<std::vector<LastfmTrack>> parseTrackList(const std::string& xml,
                                                         const char* listPath);
  static Result<std::vector<LastfmArtist>> parseArtistList(const std::string& xml,
                                                           const char* listPath);
  static Result<LastfmTrack> parseTrackInfo(const std::string& xml);

 private:
  // Sends method and parameters; `parse` turns the body into the result
  // for the main thread, or the error.
  template <class R>
  std::shared_ptr<HttpOperation> call(Dictionary parameters,
                                      std::function<Result<R>(const std::string&)> parse,
                                      std::function<void(R)> completion, LastfmErrorBlock error);

  std::string apiKey_;
  std::mutex spacingMutex_;
  SteadyTime nextRelease_{};
  std::atomic<int64_t> requestCount_{0};
};

}  // namespace mr

#include "service/MRAPIEndpoint.h"

#include "base/Json.h"
#include "model/MRPlaylistTrackItem.h"

namespace mr {

namespace {

ovloCallbacks callbacksFor(std::function<void(const ovloRequestResponse&)> onAnswer,
                           MRAPIErrorBlock error, MRAPIProgressBlock uploadProgress,
                           MRAPIProgressBlock downloadProgress) {
  ovloCallbacks callbacks;
  callbacks.completion = std::move(onAnswer);
  callbacks.uploadProgress = std::move(uploadProgress);
  callbacks.downloadProgress = std::move(downloadProgress);
  if (error) {
    // Callers decide on the error alone; the failed operation stays with
    // whoever holds the returned request.
    callbacks.error = [error = std::move(error)](HttpOperation&, const Error& problem) {
      error(problem);
    };
  }
  return callbacks;
}

}  // namespace

std::optional<ovloRequestAPIResult> MRAPIEndpoint::envelopeOf(const ovloRequestResponse& response) {
  if (!response.responseJSON) return std::nullopt;
  return ovloRequestAPIResult::resultWithJSON(*response.responseJSON);
}

std::string MRAPIEndpoint::fieldsParameter(const std::optional<Value>& fields) {
  return fields ? toJson(*fields) : std::string("{}");
}

const Value& MRAPIEndpoint::resultOrNull(const std::optional<ovloRequestAPIResult>& envelope) {
  static const Value none;
  return envelope && envelope->result ? *envelope->result : none;
}

const Value* MRAPIEndpoint::presentResult(const ovloRequestAPIResult& envelope) {
  if (!envelope.result || envelope.result->isNull()) return nullptr;
  return &*envelope.result;
}

void MRAPIEndpoint::reportSuccess(const MRAPISuccessBlock& done,
                                  const ovloRequestResponse& response) {
  const auto envelope = envelopeOf(response);
  done(envelope && envelope->successful());
}

void MRAPIEndpoint::reportStatus(const MRAPIStatusBlock& done,
                                 const ovloRequestResponse& response) {
  const auto envelope = envelopeOf(response);
  done(envelope && envelope->successful(), std::nullopt, std::nullopt);
}

Dictionary MRAPIEndpoint::trackItemParameters(const MRPlaylistTrackItem& item) {
  Dictionary parameters{{"artistName", Value(item.artist)}, {"trackTitle", Value(item.title)}};
  if (!item.imageUrl.empty()) parameters.set("artworkUrl", Value(item.imageUrl));
  return parameters;
}

std::shared_ptr<HttpOperation> MRAPIEndpoint::post(const std::string& path,
                                                   const Dictionary& parameters,
                                                   AnswerHandler onAnswer, MRAPIErrorBlock error,
                                                   MRAPIProgressBlock uploadProgress,
                                                   MRAPIProgressBlock downloadProgress) const {
  if (!engine_) return nullptr;
  return engine_->requestWithPath(
      path, ovloRequest::kMethodPost, parameters,
      callbacksFor(std::move(onAnswer), std::move(error), std::move(uploadProgress),
                   std::move(downloadProgress)));
}

std::shared_ptr<HttpOperation> MRAPIEndpoint::postMultipart(
    const std::string& path, const Dictionary& parameters,
    const std::vector<std::string>& contentNames, const std::vector<Bytes>& contentData,
    const std::vector<std::string>& contentTypes, AnswerHandler onAnswer, MRAPIErrorBlock error,
    MRAPIProgressBlock uploadProgress) const {
  if (!engine_) return nullptr;
  return engine_->requestWithPath(
      path, parameters, contentNames, contentData, contentTypes,
      callbacksFor(std::move(onAnswer), std::move(error), std::move(uploadProgress), {}));
}

}  // namespace mr

#include "service/MRAPIListenerProfile.h"

#include "base/StringAdditions.h"

namespace mr {

namespace {

void deliverProfile(const MRAPIListenerProfile::ProfileCompletion& done,
                    const ovloRequestResponse& response) {
  const auto envelope = MRAPIEndpoint::envelopeOf(response);
  done(envelope && envelope->successful(),
       MRAPIEndpoint::documentOfResult<MRListenerProfileDocument>(envelope));
}

}  // namespace

std::shared_ptr<HttpOperation> MRAPIListenerProfile::getWithAid(int64_t aid,
                                                                ProfileCompletion completion,
                                                                MRAPIErrorBlock error) const {
  return post("listener_profile/get", Dictionary{{"aid", Value(aid)}},
              answer(std::move(completion), deliverProfile), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIListenerProfile::updateWithProfileImage(
    const std::optional<Bytes>& pngImage, const std::optional<std::string>& screenName,
    const std::optional<std::string>& bio, MRAPIProgressBlock uploadProgress,
    ProfileCompletion completion, MRAPIErrorBlock error) const {
  Dictionary parameters;
  if (bio) parameters.set("bio", Value(*bio));
  if (screenName) parameters.set("screenName", Value(*screenName));
  auto onAnswer = answer(std::move(completion), deliverProfile);
  if (!pngImage) {
    return post("listener_profile/update", parameters, std::move(onAnswer), std::move(error),
                std::move(uploadProgress));
  }
  return postMultipart("listener_profile/update", parameters, {"profileImage"}, {*pngImage},
                       {"image/png"}, std::move(onAnswer), std::move(error),
                       std::move(uploadProgress));
}

std::shared_ptr<HttpOperation> MRAPIListenerProfile::addDeviceToken(const Bytes& deviceToken,
                                                                    MRAPISuccessBlock completion,
                                                                    MRAPIErrorBlock error) const {
  return post("listener_profile/add_device_token",
              Dictionary{{"deviceToken", Value(hexStringFromData(deviceToken))}},
              answer(std::move(completion), reportSuccess), std::move(error));
}

}  // namespace mr

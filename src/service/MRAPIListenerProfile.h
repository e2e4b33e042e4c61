// The listener's public profile, and the device token push notifications
// are sent to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/MRListenerProfileDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIListenerProfile : public MRAPIEndpoint {
 public:
  // (success, the document of the result as it came back). Without an
  // envelope: (false, a document without a dictionary).
  using ProfileCompletion =
      std::function<void(bool success, const MRListenerProfileDocument& profile)>;

  explicit MRAPIListenerProfile(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "listener_profile/get": the profile of account `aid`.
  std::shared_ptr<HttpOperation> getWithAid(int64_t aid, ProfileCompletion completion,
                                            MRAPIErrorBlock error) const;
  // "listener_profile/update": "bio" and "screenName" only when given. With
  // a profile image (PNG bytes) the request is a multipart POST carrying it
  // as the part "profileImage"; upload progress goes to `uploadProgress`.
  std::shared_ptr<HttpOperation> updateWithProfileImage(
      const std::optional<Bytes>& pngImage, const std::optional<std::string>& screenName,
      const std::optional<std::string>& bio, MRAPIProgressBlock uploadProgress,
      ProfileCompletion completion, MRAPIErrorBlock error) const;
  // "listener_profile/add_device_token": the token as lower-case hex.
  std::shared_ptr<HttpOperation> addDeviceToken(const Bytes& deviceToken,
                                                MRAPISuccessBlock completion,
                                                MRAPIErrorBlock error) const;
};

}  // namespace mr

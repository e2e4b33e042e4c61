// A listener as other listeners see them: the summary that messages embed and
// the full profile that comments, mixes and profile pages carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/MRDocument.h"

namespace mr {

// The picture made of the tags of a listener's profile, and its outline.
class MRProfileTagCloudDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<std::string> imageUrl() const { return document_.stringForKey("imageUrl"); }
  std::optional<std::string> shape() const { return document_.stringForKey("shape"); }
};

class MRListenerProfileSummaryDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  // The listener's account id and account name.
  int32_t aid() const { return document_.intForKey("aid", 0); }
  std::string aname() const { return document_.stringForKey("aname", ""); }
  std::optional<std::string> screenName() const { return document_.stringForKey("screenName"); }
  std::optional<std::string> profileImageIconUrl() const {
    return document_.stringForKey("profileImageIconUrl");
  }
};

class MRListenerProfileDocument : public MRListenerProfileSummaryDocument {
 public:
  using MRListenerProfileSummaryDocument::MRListenerProfileSummaryDocument;

  std::string bio() const { return document_.stringForKey("bio", ""); }
  std::optional<std::string> profileImageUrl() const {
    return document_.stringForKey("profileImageUrl");
  }
  std::optional<std::string> twitterProfileUrl() const {
    return document_.stringForKey("twitterProfileUrl");
  }
  std::optional<std::string> facebookProfileUrl() const {
    return document_.stringForKey("facebookProfileUrl");
  }
  std::optional<MRProfileTagCloudDocument> profileTagCloud() const {
    return document_.documentForKey<MRProfileTagCloudDocument>("profileTagCloud");
  }
};

}  // namespace mr

// The picture of a listener's genre tags that the service draws.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MRGenreTag.h"
#include "model/MRImage.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIGenreTagCloud : public MRAPIEndpoint {
 public:
  // The one tag the cloud leaves out (matched exactly, case included).
  static constexpr const char* kSkippedTag = "japanese";
  // The code of the error for tags that cannot be written as JSON.
  static constexpr int kTagsNotSerializable = 1;

  // (true, the image) when the body is an image, else (false, none). The
  // answer is the picture itself, with no envelope.
  using ImageCompletion = std::function<void(bool decoded, const std::optional<MRImage>& image)>;

  explicit MRAPIGenreTagCloud(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "genre_tagcloud/generate": "tags" is the JSON array of {"weight",
  // "name"} for each tag but kSkippedTag (exact match), in order; "shape"
  // names the cloud's outline and goes as it is. Download progress goes to
  // `progress`. A weight that JSON cannot carry (not finite) calls `error`
  // at once and sends nothing.
  std::shared_ptr<HttpOperation> generateWithTags(const std::vector<MRGenreTag>& tags,
                                                  const std::string& shape,
                                                  MRAPIProgressBlock progress,
                                                  ImageCompletion completion,
                                                  MRAPIErrorBlock error) const;

  // The "tags" text, or the error that stops the request.
  static Result<std::string> tagsParameter(const std::vector<MRGenreTag>& tags);
};

}  // namespace mr

#include "service/MRAPIGenreTagCloud.h"

#include <charconv>
#include <cmath>

#include "base/Json.h"

namespace mr {

namespace {

// The weight is a float; written as the double it widens to, 0.9 would go
// out as 0.8999999761581421. The float's own shortest decimal, read back
// as a double, writes as the listener's 0.9.
Value weightValue(float weight) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, weight);
  double widened = weight;
  std::from_chars(buffer, written.ptr, widened);
  return Value(widened);
}

}  // namespace

Result<std::string> MRAPIGenreTagCloud::tagsParameter(const std::vector<MRGenreTag>& tags) {
  Array entries;
  entries.reserve(tags.size());
  for (const MRGenreTag& tag : tags) {
    if (tag.name == kSkippedTag) continue;
    if (!std::isfinite(tag.weight)) {
      return Error(
          kMireluneErrorDomain, kTagsNotSerializable,
          "The weight of the genre tag \"" + tag.name + "\" is not a number JSON can hold");
    }
    Value entry = Value::dictionary();
    entry.set("weight", weightValue(tag.weight));
    entry.set("name", Value(tag.name));
    entries.push_back(std::move(entry));
  }
  return toJson(Value(std::move(entries)));
}

std::shared_ptr<HttpOperation> MRAPIGenreTagCloud::generateWithTags(
    const std::vector<MRGenreTag>& tags, const std::string& shape, MRAPIProgressBlock progress,
    ImageCompletion completion, MRAPIErrorBlock error) const {
  auto tagsText = tagsParameter(tags);
  if (!tagsText.ok()) {
    if (error) error(tagsText.error());
    return nullptr;
  }
  return post("genre_tagcloud/generate",
              Dictionary{{"tags", Value(std::move(*tagsText))}, {"shape", Value(shape)}},
              answer(std::move(completion),
                     [](const ImageCompletion& done, const ovloRequestResponse& response) {
                       auto image = MRImage::decode(response.data);
                       const bool decoded = image.has_value();
                       done(decoded, image);
                     }),
              std::move(error), {}, std::move(progress));
}

}  // namespace mr

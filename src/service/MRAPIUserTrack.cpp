#include "service/MRAPIUserTrack.h"

#include "base/FileUtil.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIUserTrack::updateWithTSVFile(const std::string& path,
                                                                 MRAPIStatusBlock completion,
                                                                 MRAPIErrorBlock error) const {
  return uploadFile("user_track/update", path, std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIUserTrack::updateWithTextFile(const std::string& path,
                                                                  MRAPIStatusBlock completion,
                                                                  MRAPIErrorBlock error) const {
  return uploadFile("user_track/update2", path, std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIUserTrack::uploadFile(const std::string& servicePath,
                                                          const std::string& filePath,
                                                          MRAPIStatusBlock completion,
                                                          MRAPIErrorBlock error) const {
  auto contents = readFileToString(filePath);
  if (!contents.ok()) {
    if (error) error(contents.error());
    return nullptr;
  }
  Bytes data(contents->begin(), contents->end());
  return postMultipart(servicePath, Dictionary{}, {"tracks"}, {std::move(data)}, {"text/plain"},
                       answer(std::move(completion), reportStatus), std::move(error));
}

}  // namespace mr

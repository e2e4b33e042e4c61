// The listener's music library, uploaded for the service's recommendations.
#pragma once

#include <string>

#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIUserTrack : public MRAPIEndpoint {
 public:
  explicit MRAPIUserTrack(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "user_track/update" (a tab-separated file) and "user_track/update2" (a
  // text file): a multipart POST whose only fields are the signature's and
  // whose one part "tracks" (text/plain) holds the file's bytes. A file that
  // cannot be read calls `error` at once and sends nothing.
  std::shared_ptr<HttpOperation> updateWithTSVFile(const std::string& path,
                                                   MRAPIStatusBlock completion,
                                                   MRAPIErrorBlock error) const;
  std::shared_ptr<HttpOperation> updateWithTextFile(const std::string& path,
                                                    MRAPIStatusBlock completion,
                                                    MRAPIErrorBlock error) const;

 private:
  std::shared_ptr<HttpOperation> uploadFile(const std::string& servicePath,
                                            const std::string& filePath,
                                            MRAPIStatusBlock completion,
                                            MRAPIErrorBlock error) const;
};

}  // namespace mr

// The full artist document, and the statistics and media pages it carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRArtistBiographyDocument.h"
#include "model/MRArtistSummaryDocument.h"
#include "model/MRDocument.h"

namespace mr {

class MRArtistStats : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t numOfFans() const { return document_.intForKey("numOfFans", 0); }
  int32_t numOfBadges() const { return document_.intForKey("numOfBadges", 0); }
  int32_t numOfEvents() const { return document_.intForKey("numOfEvents", 0); }
  int32_t numOfTracks() const { return document_.intForKey("numOfTracks", 0); }
};

// The artist's SoundCloud account, in SoundCloud's own member names.
class MRArtistMediaSoundCloudUser : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t userId() const { return document_.intForKey("id", 0); }
  std::string userName() const { return document_.stringForKey("username", ""); }
  std::optional<std::string> permalinkUrl() const {
    return document_.stringForKey("permalink_url");
  }
  std::optional<std::string> avatarUrl() const { return document_.stringForKey("avatar_url"); }
};

class MRArtistMediaFacebookPage : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<std::string> name() const { return document_.stringForKey("name"); }
  std::optional<std::string> objectId() const { return document_.stringForKey("id"); }
  std::optional<std::string> link() const { return document_.stringForKey("link"); }
};

class MRArtistMediaDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<std::string> homepageUrl() const { return document_.stringForKey("homepageUrl"); }
  std::optional<MRArtistMediaSoundCloudUser> soundcloudUser() const {
    return document_.documentForKey<MRArtistMediaSoundCloudUser>("soundcloudUser");
  }
  std::optional<MRArtistMediaFacebookPage> facebookPage() const {
    return document_.documentForKey<MRArtistMediaFacebookPage>("facebookPage");
  }
};

// An artist as the artist endpoints answer with it. Unlike the summary, its
// waid may be missing (nullopt), it has a MusicBrainz id, and it never has a
// small image: its largest image falls back to the square one.
class MRArtistDocument : public MRArtistSummaryDocument {
 public:
  using MRArtistSummaryDocument::MRArtistSummaryDocument;

  std::optional<std::string> waid() const { return document_.stringForKey("waid"); }
  std::string mbid() const { return document_.stringForKey("mbid", ""); }

  std::optional<std::string> imageSmall() const override { return std::nullopt; }
  // The first size present of mega, extra large, large, medium and square.
  std::optional<std::string> imageLargest() const override;

  // The tag names; members that are not strings are left out.
  std::vector<std::string> tags() const;
  std::optional<Date> lastModifiedAt() const { return document_.unixtimeForKey("lastModifiedAt"); }
  std::vector<MRArtistSummaryDocument> similars() const {
    return documentsForKey<MRArtistSummaryDocument>("similars")
        .value_or(std::vector<MRArtistSummaryDocument>{});
  }
  std::optional<MRArtistBiographyDocument> bio() const {
    return document_.documentForKey<MRArtistBiographyDocument>("bio");
  }
  std::optional<MRArtistStats> stats() const {
    return document_.documentForKey<MRArtistStats>("stats");
  }
  std::optional<MRArtistMediaDocument> media() const {
    return document_.documentForKey<MRArtistMediaDocument>("media");
  }
};

}  // namespace mr

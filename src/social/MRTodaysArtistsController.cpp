#include "social/MRTodaysArtistsController.h"

#include <ctime>

#include "base/Log.h"
#include "base/MRUserDefaults.h"

namespace mr {

int dayOfYear(Date date) {
  const auto seconds = static_cast<std::time_t>(date.secondsSince1970);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  return local.tm_yday + 1;
}

MRTodaysArtistsController::MRTodaysArtistsController(const Env& env, Database* store)
    : env_(env), recommendArtistController_(store) {}

bool MRTodaysArtistsController::shouldSelectArtistsForToday() const {
  const MRUserDefaults defaults(env_.settings(), env_.paths().home);
  return dayOfYear(env_.clock().currentDate()) != dayOfYear(defaults.lastTodaysArtistsShownDate());
}

bool MRTodaysArtistsController::selectTodaysArtistsWithForce(bool force) {
  if (!force && !shouldSelectArtistsForToday()) {
    loadLastTodaysArtistsShown();
    return false;
  }
  recommendArtists_ = recommendArtistController_.findRandomlyForCount(kCount);
  // Fewer are shown but not kept, so the next call chooses again.
  if (recommendArtists_.size() == kCount) saveLastTodaysArtistsShown();
  return true;
}

void MRTodaysArtistsController::saveLastTodaysArtistsShown() {
  MRUserDefaults defaults(env_.settings(), env_.paths().home);
  std::vector<std::string> hashes;
  for (const auto& artist : recommendArtists_) hashes.push_back(artist->itemHash().value_or(""));
  // The choice is shown either way; unsaved, it is made again next time.
  if (Status saved = defaults.setLastTodaysArtistsShownDate(env_.clock().currentDate());
      !saved.ok()) {
    log::warning("Today's artists were not kept: {}", saved.error().toString());
    return;
  }
  if (Status saved = defaults.setItemHashesOfLastTodaysArtistsShown(hashes); !saved.ok())
    log::warning("Today's artists were not kept: {}", saved.error().toString());
}

void MRTodaysArtistsController::loadLastTodaysArtistsShown() {
  const MRUserDefaults defaults(env_.settings(), env_.paths().home);
  std::vector<std::shared_ptr<CDRecommendArtist>> found;
  const auto hashes = defaults.itemHashesOfLastTodaysArtistsShown();
  if (hashes && hashes->size() == kCount) {
    for (const auto& hash : *hashes) {
      if (auto artist = recommendArtistController_.findWithItemHash(hash))
        found.push_back(std::move(artist));
    }
  }
  if (found.size() == kCount) {
    recommendArtists_ = std::move(found);
    return;
  }
  selectTodaysArtistsWithForce(true);
}

}  // namespace mr

// Three recommended artists of the day: chosen at random on the first call
// of a day and kept, across restarts, for the rest of it.
#pragma once

#include <memory>
#include <vector>

#include "base/Env.h"
#include "store/CDArtist.h"
#include "store/Database.h"

namespace mr {

class MRTodaysArtistsController {
 public:
  static constexpr size_t kCount = 3;

  MRTodaysArtistsController(const Env& env, Database* store);

  // True when a new choice was made, false when the saved one was loaded.
  bool selectTodaysArtistsWithForce(bool force);
  // The day of the year (the year itself is not compared) differs from the
  // saved one's, in the local time zone.
  bool shouldSelectArtistsForToday() const;
  void saveLastTodaysArtistsShown();
  void loadLastTodaysArtistsShown();

  const std::vector<std::shared_ptr<CDRecommendArtist>>& recommendArtists() const {
    return recommendArtists_;
  }

 private:
  const Env& env_;
  // A scratch context of its own, which the records read through.
  CDRecommendArtistEntityController recommendArtistController_;
  std::vector<std::shared_ptr<CDRecommendArtist>> recommendArtists_;
};

// The day of the year (1 to 366) of `date` in the local time zone.
int dayOfYear(Date date);

}  // namespace mr

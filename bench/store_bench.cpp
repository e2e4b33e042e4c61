// The user song check's store pattern on a large library: for each track,
// "already used?", enqueue it, record it as used, and save every 100 tracks.
// Prints tracks per second through our object layer and through bare SQLite
// prepared statements doing the same work, and the ratio.
//   store_bench [TRACKS]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/CDTrackRecommendationQueueItem.h"
#include "model/CDUtility.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string title(int i) {
  return "Track Title Number " + std::to_string(i);
}
std::string artist(int i) {
  return "Artist Name " + std::to_string(i % 8000);
}

void mustSave(mr::CDEntityController& controller) {
  if (mr::Status saved = controller.save(); !saved.ok()) {
    std::fprintf(stderr, "%s\n", saved.error().toString().c_str());
    std::exit(1);
  }
}

double ours(const std::string& path, int tracks) {
  auto store = mr::Database::open(path, mr::Database::OpenMode::AsIs);
  if (!store.ok()) {
    std::fprintf(stderr, "%s\n", store.error().toString().c_str());
    std::exit(1);
  }
  mr::CDTrackRecommendationQueueEntityController queue(store->get());
  mr::CDTrackUsedForRecommendationEntityController used(queue.context());
  const auto start = Clock::now();
  for (int i = 0; i < tracks; ++i) {
    if (!used.isAlreadyRecommendedWithTitle(title(i), "Album", artist(i))) {
      auto item =
          queue.enqueueTrackForRecommendationWithTitle(title(i), "Album", artist(i), i % 300, true);
      used.insertNewObjectWithTrackRecommendationQueueItem(*item);
    }
    if ((i + 1) % 100 == 0) mustSave(queue);
  }
  mustSave(queue);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The same statements with nothing in between.
double bare(const std::string& path, int tracks) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384; "
               "PRAGMA mmap_size=268435456; PRAGMA wal_autocheckpoint=8192;",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* exists = nullptr;
  sqlite3_stmt* enqueue = nullptr;
  sqlite3_stmt* record = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM TrackUsedForRecommendation WHERE itemHash = ?", -1,
                     &exists, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO TrackRecommendationQueue (title, album, artist, itemHash, "
                     "priority, isUserTrack) VALUES (?, ?, ?, ?, ?, 1)",
                     -1, &enqueue, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO TrackUsedForRecommendation (title, album, artist, itemHash, "
                     "artistItemHash) VALUES (?, ?, ?, ?, ?)",
                     -1, &record, nullptr);
  const auto start = Clock::now();
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int i = 0; i < tracks; ++i) {
    const std::string t = title(i);
    const std::string a = artist(i);
    const std::string hash = mr::CDUtility::itemHashWithTitle(t, a);
    sqlite3_bind_text(exists, 1, hash.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(exists);
    const bool known = sqlite3_column_int(exists, 0) != 0;
    sqlite3_reset(exists);
    if (!known) {
      for (sqlite3_stmt* insert : {enqueue, record}) {
        sqlite3_bind_text(insert, 1, t.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "Album", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, a.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, hash.c_str(), -1, SQLITE_TRANSIENT);
      }
      sqlite3_bind_int64(enqueue, 5, i % 300);
      const std::string artistHash = mr::CDUtility::artistItemHashWithArtist(a);
      sqlite3_bind_text(record, 5, artistHash.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(enqueue);
      sqlite3_reset(enqueue);
      sqlite3_step(record);
      sqlite3_reset(record);
    }
    if ((i + 1) % 100 == 0) {
      sqlite3_exec(db, "COMMIT; BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    }
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (sqlite3_stmt* statement : {exists, enqueue, record})
    sqlite3_finalize(statement);
  sqlite3_close(db);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int tracks = argc > 1 ? std::atoi(argv[1]) : 100000;
  const auto folder = std::filesystem::temp_directory_path() / "mirelune-store-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string oursPath = (folder / "ours.sqlite").string();
  const std::string barePath = (folder / "bare.sqlite").string();
  // Both files get our schema and indexes.
  if (!mr::Database::open(barePath, mr::Database::OpenMode::AsIs).ok()) return 1;

  const double oursSeconds = ours(oursPath, tracks);
  const double bareSeconds = bare(barePath, tracks);
  std::printf("user song check store pattern, %d tracks (save every 100)\n", tracks);
  std::printf("  bare SQLite statements  %8.3f s  %9.0f tracks/s\n", bareSeconds,
              tracks / bareSeconds);
  std::printf("  our store               %8.3f s  %9.0f tracks/s  (%.2fx the bare time)\n",
              oursSeconds, tracks / oursSeconds, oursSeconds / bareSeconds);
  std::filesystem::remove_all(folder);
  return 0;
}

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "store/CDArtist.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "store/Schema.h"
#include "store/StoreTestSupport.h"
#include "support/StoreFaults.h"
#include "support/TempDir.h"

namespace mr {
namespace {

using test::StoreFixture;

TEST_F(StoreFixture, AContextSeesItsOwnChangesAndOthersSeeOnlySavedOnes) {
  CDArtistEntityController writer(store.get());
  CDArtistEntityController reader(store.get());
  auto artist = writer.insertNewObject();
  artist->setName("Björk");
  artist->setItemHash("h1");
  EXPECT_TRUE(writer.context()->hasChanges());
  EXPECT_EQ(writer.findWithItemHash("h1"), artist);  // the same object
  EXPECT_EQ(reader.findWithItemHash("h1"), nullptr);

  ASSERT_TRUE(writer.save());
  EXPECT_FALSE(writer.context()->hasChanges());
  auto seen = reader.findWithItemHash("h1");
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->name(), "Björk");

  writer.context()->deleteObject(*artist);
  EXPECT_EQ(writer.findWithItemHash("h1"), nullptr);
  EXPECT_NE(reader.findWithItemHash("h1"), nullptr);
  EXPECT_TRUE(writer.save());
  EXPECT_EQ(reader.countAllItems(), 0);
}

TEST_F(StoreFixture, SavingNothingIsASuccessThatWritesNothing) {
  CDArtistEntityController controller(store.get());
  EXPECT_TRUE(controller.save());
  EXPECT_FALSE(controller.lastError().has_value());
}

TEST_F(StoreFixture, UnsavedChangesGoWithTheirContext) {
  {
    CDArtistEntityController controller(store.get());
    controller.insertNewObject()->setName("never saved");
  }
  EXPECT_EQ(CDArtistEntityController(store.get()).countAllItems(), 0);
  // The writer is free again: a second context can write at once.
  CDArtistEntityController next(store.get());
  next.insertNewObject()->setName("saved");
  EXPECT_TRUE(next.save());
}

TEST_F(StoreFixture, AFailedSaveKeepsEveryChangeForTheNextSave) {
  CDArtistEntityController controller(store.get());
  auto artist = controller.insertNewObject();
  artist->setName("Kept");
  auto tag = std::make_shared<CDGenreTagEntityController>(controller.context())->insertNewObject();
  tag->setTag("rock");
  tag->setArtist(artist.get());
  controller.context()->failNextCommitForTesting();
  EXPECT_FALSE(controller.save());
  ASSERT_TRUE(controller.lastError().has_value());
  EXPECT_TRUE(controller.context()->hasChanges());
  EXPECT_EQ(CDArtistEntityController(store.get()).countAllItems(), 0);

  // Its own fetches still see the changes, relationships included.
  auto again = controller.findAll();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0]->tags().size(), 1u);

  EXPECT_TRUE(controller.save());
  EXPECT_FALSE(controller.lastError().has_value());
  CDArtistEntityController other(store.get());
  auto stored = other.findAll();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0]->name(), "Kept");
  ASSERT_EQ(stored[0]->tags().size(), 1u);
  EXPECT_EQ(stored[0]->tags()[0]->tag(), "rock");
}

TEST_F(StoreFixture, ManyContextsWriteFromManyThreadsWhileTheMainContextReads) {
  constexpr int kThreads = 4;
  constexpr int kSaves = 25;
  constexpr int kPerSave = 4;
  std::atomic<int> failures{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      CDTrackRecommendationQueueEntityController queue(store.get());
      for (int s = 0; s < kSaves; ++s) {
        for (int i = 0; i < kPerSave; ++i) {
          queue.enqueueTrackForRecommendationWithTitle("t" + std::to_string(t), "a", "r", s, true);
        }
        if (!queue.save()) ++failures;
      }
    });
  }
  auto main = store->mainContext();
  int64_t lastSeen = 0;
  std::thread reader([&] {
    while (!done) {
      const int64_t seen = main->count(CDTrackRecommendationQueueItem::entityInfo());
      // Saves are whole: the count only moves in steps of one save.
      if (seen % kPerSave != 0 || seen < lastSeen) ++failures;
      lastSeen = seen;
    }
  });
  for (auto& writer : writers)
    writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(main->count(CDTrackRecommendationQueueItem::entityInfo()),
            kThreads * kSaves * kPerSave);
}

TEST_F(StoreFixture, AFullDiskFailsTheSaveAndKeepsEveryChangeUntilThereIsRoom) {
  test::fillDisk(*store);
  CDTrackRecommendationQueueEntityController queue(store.get());
  for (int i = 0; i < 500; ++i)
    queue.enqueueTrackForRecommendationWithTitle("t" + std::to_string(i), "a", "r", i, true);
  Status saved = queue.save();
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error().code() & 0xff, SQLITE_FULL) << saved.error().toString();
  EXPECT_EQ(CDTrackRecommendationQueueEntityController(store.get()).countAllItems(), 0);
  EXPECT_FALSE(queue.save()) << "still full";

  test::freeDisk(*store);
  ASSERT_TRUE(queue.save());
  EXPECT_EQ(CDTrackRecommendationQueueEntityController(store.get()).countAllItems(), 500);
}

// Another context deletes the artist a change points to: that change can
// never be written. It is dropped with an error, the rest is saved, and
// later saves work again.
TEST_F(StoreFixture, AChangeThatCanNeverBeWrittenIsDroppedAndTheRestSaved) {
  CDArtistEntityController setup(store.get());
  auto doomed = setup.insertNewObject();
  doomed->setName("Doomed");
  ASSERT_TRUE(setup.save());

  CDArtistEntityController writer(store.get());
  auto artist = writer.findAll().front();
  CDGenreTagEntityController tags(writer.context());
  auto kept = tags.insertNewObject();
  kept->setTag("kept");
  writer.context()->failNextCommitForTesting();
  ASSERT_FALSE(writer.save());  // the journal now waits for a replay

  setup.deleteObject(*doomed);
  ASSERT_TRUE(setup.save());

  auto orphan = tags.insertNewObject();
  orphan->setTag("orphan");
  orphan->setArtist(artist.get());  // a foreign key to a deleted row
  Status saved = writer.save();
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error().code() & 0xff, SQLITE_CONSTRAINT) << saved.error().toString();
  EXPECT_FALSE(writer.context()->hasChanges());

  CDGenreTagEntityController reader(store.get());
  std::set<std::string> stored;
  for (const auto& tag : reader.findAll())
    stored.insert(tag->tag().value_or(""));
  EXPECT_EQ(stored, (std::set<std::string>{"kept", "orphan"}));  // the tag, without its artist
  for (const auto& tag : reader.findAll())
    EXPECT_EQ(tag->artist(), nullptr);

  tags.insertNewObject()->setTag("later");
  EXPECT_TRUE(writer.save());
  EXPECT_EQ(reader.countAllItems(), 3);
}

TEST(StoreConnectionTest, StatementsAreBoundAndTheCacheStaysSmall) {
  test::TempDir dir;
  auto connection = Connection::open(dir.file("cache.sqlite"));
  ASSERT_TRUE(connection.ok());
  ASSERT_TRUE((*connection)->exec("CREATE TABLE t (v INTEGER)").ok());
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE((*connection)->run("INSERT INTO t VALUES (" + std::to_string(i) + ")").ok());
  EXPECT_LE((*connection)->cachedStatementCount(), 96u);
  auto count = (*connection)->scalar("SELECT count(*) FROM t");
  ASSERT_TRUE(count.ok());
  EXPECT_EQ(integerOf(*count), 1000);

  // Pages of a fetch share one statement.
  auto store = Database::open(dir.file("store.sqlite"), Database::OpenMode::AsIs);
  ASSERT_TRUE(store.ok());
  CDTrackRecommendationQueueEntityController queue(store->get());
  for (int i = 0; i < 30; ++i)
    queue.enqueueTrackForRecommendationWithTitle("t" + std::to_string(i), "a", "r", i, true);
  ASSERT_TRUE(queue.save());
  for (int64_t page = 0; page < 10; ++page) {
    auto rows = queue.context()->fetch<CDTrackRecommendationQueueItem>({}, {}, "\"id\"", 3,
                                                                      page * 3);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]->title(), "t" + std::to_string(page * 3));
  }
}

TEST(StoreOpenTest, AnOlderStoreIsUpgradedInPlace) {
  test::TempDir dir;
  const std::string path = dir.file("mirelune.sqlite");
  {
    auto connection = Connection::open(path);
    ASSERT_TRUE(connection.ok());
    ASSERT_TRUE((*connection)->exec(migrationTo(1)).ok());
    ASSERT_TRUE((*connection)->exec("PRAGMA user_version = 1").ok());
    ASSERT_TRUE((*connection)
                    ->exec("INSERT INTO \"Artist\" (\"itemHash\", \"name\") VALUES ('h', 'Old')")
                    .ok());
  }
  auto plain = Database::open(path, Database::OpenMode::AsIs);
  ASSERT_FALSE(plain.ok());
  EXPECT_EQ(plain.error().code(), 1001);

  auto migrated = Database::open(path, Database::OpenMode::Migrating);
  ASSERT_TRUE(migrated.ok()) << migrated.error().toString();
  EXPECT_EQ(*Database::schemaVersionOf(path), kSchemaVersion);
  CDArtistEntityController controller(migrated->get());
  ASSERT_NE(controller.findWithItemHash("h"), nullptr);
  EXPECT_EQ(controller.findWithItemHash("h")->name(), "Old");
  const auto indexes = controller.context()->query(
      "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = 'Artist_itemHash'");
  EXPECT_EQ(integerOf(indexes[0][0]), 1);
}

TEST(StoreOpenTest, FilesThatAreNotOurStoreAreRefused) {
  test::TempDir dir;
  test::writeFile(dir.file("garbage.sqlite"), std::string(4096, 'x'));
  EXPECT_FALSE(Database::open(dir.file("garbage.sqlite"), Database::OpenMode::Migrating).ok());

  {
    auto connection = Connection::open(dir.file("newer.sqlite"));
    ASSERT_TRUE((*connection)->exec("PRAGMA user_version = 99").ok());
  }
  auto newer = Database::open(dir.file("newer.sqlite"), Database::OpenMode::Migrating);
  ASSERT_FALSE(newer.ok());
  EXPECT_EQ(newer.error().code(), 1002);

  {
    auto connection = Connection::open(dir.file("foreign.sqlite"));
    ASSERT_TRUE((*connection)->exec("CREATE TABLE notes (body TEXT)").ok());
  }
  auto foreign = Database::open(dir.file("foreign.sqlite"), Database::OpenMode::AsIs);
  ASSERT_FALSE(foreign.ok());
  EXPECT_EQ(foreign.error().code(), 1003);

  std::filesystem::create_directories(dir.file("a-folder.sqlite"));
  EXPECT_FALSE(Database::open(dir.file("a-folder.sqlite"), Database::OpenMode::AsIs).ok());
}

TEST(StoreOpenTest, ControllersWithoutAStoreFindNothing) {
  CDArtistEntityController controller(static_cast<Database*>(nullptr));
  EXPECT_EQ(controller.insertNewObject(), nullptr);
  EXPECT_EQ(controller.findWithItemHash("x"), nullptr);
  EXPECT_TRUE(controller.findAll().empty());
  EXPECT_EQ(controller.countAllItems(), 0);
  EXPECT_FALSE(controller.save());  // nothing can be kept without a store
}

TEST_F(StoreFixture, TheTablesHoldEveryColumnTheRecordsUse) {
  auto context = store->newContext();
  for (const EntityInfo* entity : allEntities()) {
    const auto columns = context->query("SELECT name FROM pragma_table_info(?)", {entity->name});
    std::set<std::string> names;
    for (const auto& row : columns)
      names.insert(textOf(row[0]).value_or(""));
    EXPECT_TRUE(names.count("id")) << entity->name;
    for (const auto& column : entity->columns) {
      EXPECT_TRUE(names.count(column.name)) << entity->name << "." << column.name;
    }
    EXPECT_EQ(names.size(), entity->columns.size() + 1) << entity->name;
  }
}

// A child saves in a loop and reports each committed save; it is killed in
// the middle of its work. Every reported save must be in the file, and the
// file must be whole.
TEST(StoreCrashTest, KillingTheWriterNeverCorruptsOrLosesACommittedSave) {
  test::TempDir dir;
  const std::string path = dir.file("mirelune.sqlite");
  ASSERT_TRUE(Database::open(path, Database::OpenMode::AsIs).ok());
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    auto database = Database::open(path, Database::OpenMode::AsIs);
    if (!database.ok()) ::_exit(2);
    CDTrackRecommendationQueueEntityController queue(database->get());
    for (int64_t save = 1;; ++save) {
      for (int i = 0; i < 20; ++i) {
        queue.enqueueTrackForRecommendationWithTitle("title", "album", "artist", save, true);
      }
      if (!queue.save()) ::_exit(3);
      (void)!::write(pipeFds[1], &save, sizeof save);
    }
  }
  ::close(pipeFds[1]);
  int64_t committed = 0;
  for (int reports = 0; reports < 40; ++reports) {
    ASSERT_EQ(::read(pipeFds[0], &committed, sizeof committed),
              static_cast<ssize_t>(sizeof committed));
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  // Saves reported after we stopped reading are committed too.
  int64_t later = 0;
  while (::read(pipeFds[0], &later, sizeof later) == static_cast<ssize_t>(sizeof later))
    committed = later;
  ::close(pipeFds[0]);
  ASSERT_TRUE(WIFSIGNALED(status));

  auto reopened = Database::open(path, Database::OpenMode::AsIs);
  ASSERT_TRUE(reopened.ok()) << reopened.error().toString();
  auto context = (*reopened)->newContext();
  EXPECT_EQ(textOf(context->query("PRAGMA integrity_check")[0][0]), "ok");
  const int64_t rows = context->count(CDTrackRecommendationQueueItem::entityInfo());
  EXPECT_GE(rows, committed * 20);
  EXPECT_EQ(rows % 20, 0);  // no half save
  const auto highest = context->query("SELECT max(\"priority\") FROM \"TrackRecommendationQueue\"");
  EXPECT_GE(integerOf(highest[0][0]).value_or(0), committed);
}

}  // namespace
}  // namespace mr

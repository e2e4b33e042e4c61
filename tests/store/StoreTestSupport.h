// A store in a temporary folder for the store tests.
#pragma once

#include <gtest/gtest.h>

#include "store/Database.h"
#include "support/TempDir.h"

namespace mr::test {

struct StoreFixture : ::testing::Test {
  TempDir dir;
  std::string path = dir.file("data/mirelune/mirelune.sqlite");
  std::shared_ptr<Database> store = openStore(path);

  static std::shared_ptr<Database> openStore(const std::string& path) {
    auto opened = Database::open(path, Database::OpenMode::AsIs);
    EXPECT_TRUE(opened.ok()) << (opened.ok() ? "" : opened.error().toString());
    return opened.ok() ? *opened : nullptr;
  }
};

}  // namespace mr::test

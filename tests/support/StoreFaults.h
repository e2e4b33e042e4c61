// A store whose disk fills up: after `roomInPages` more pages every write
// fails with SQLITE_FULL, as on a full data folder.
#pragma once

#include "store/Database.h"

namespace mr::test {

inline void fillDisk(Database& store, int64_t roomInPages = 0) {
  store.limitSizeForTesting(store.pageCount() + roomInPages);
}

inline void freeDisk(Database& store) {
  store.limitSizeForTesting(0);
}

}  // namespace mr::test

#include "app/MRSQLiteStore.h"

namespace mr {

Status MRSQLiteStore::openIn(const std::string& folder, Database::OpenMode mode) {
  auto opened = Database::open(folder + "/" + Database::kFileName, mode);
  if (!opened.ok()) return opened.error();
  database_ = *opened;
  mainContext_ = database_->mainContext();
  return {};
}

Status MRSQLiteStore::save() {
  if (!mainContext_) return Error(kStoreErrorDomain, 1000, "the store is not open");
  return mainContext_->save();
}

}  // namespace mr

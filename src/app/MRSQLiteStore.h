// The launch sequence's view of the local store: the SQLite file in the data
// folder, opened as it is or upgraded, and the screens' main context.
#pragma once

#include <memory>

#include "app/MRAppServices.h"
#include "store/Context.h"
#include "store/Database.h"

namespace mr {

class MRSQLiteStore final : public MRStoreStack {
 public:
  Status open(const std::string& folder) override {
    return openIn(folder, Database::OpenMode::AsIs);
  }
  Status openMigrating(const std::string& folder) override {
    return openIn(folder, Database::OpenMode::Migrating);
  }
  bool isOpen() const override { return database_ != nullptr; }
  bool hasMainContext() const override { return mainContext_ != nullptr; }
  bool commitEditing() override { return true; }  // no editor holds uncommitted input
  bool hasChanges() const override { return mainContext_ && mainContext_->hasChanges(); }
  Status save() override;

  // The open store, or nullptr.
  const std::shared_ptr<Database>& database() const { return database_; }
  const std::shared_ptr<Context>& mainContext() const { return mainContext_; }

 private:
  Status openIn(const std::string& folder, Database::OpenMode mode);

  std::shared_ptr<Database> database_;
  std::shared_ptr<Context> mainContext_;
};

}  // namespace mr

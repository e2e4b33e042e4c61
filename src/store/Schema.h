// The store's tables as the records see them, and the ordered migrations
// that build them in the file (PRAGMA user_version counts them).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/Connection.h"

namespace mr {

enum class ColumnKind { Text, Integer, Real, Bool, Date, Blob, ToOne };

struct ColumnInfo {
  const char* name;
  ColumnKind kind;
  const char* target = nullptr;  // the entity a to-one column refers to
};

// An entity: its table and columns, after the implicit "id" primary key.
// Each entity's is made once and never destroyed: a worker thread may
// still read it while the process exits.
struct EntityInfo {
  EntityInfo(const char* name, std::vector<ColumnInfo> columns);

  const char* name;
  std::vector<ColumnInfo> columns;
  std::string quotedName;              // "\"Artist\""
  std::string selectList;              // "id", then every column, quoted
  std::string insertSql;               // every column, one "?" each
  std::vector<std::string> updateSql;  // per column: set it by "id"

  int columnIndex(std::string_view column) const;  // -1 when unknown
};

// Every entity, in the order the tables are made.
const std::vector<const EntityInfo*>& allEntities();

// The schema version the program writes, and the steps from an older file.
inline constexpr int kSchemaVersion = 2;
// The SQL that takes a file from version `to - 1` to `to`.
const std::string& migrationTo(int to);

std::string quoted(std::string_view identifier);

}  // namespace mr

// The process-wide list of database data objects and the in-process databases it starts with.
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSMemEngine.h"
#include "engine/core/ABSTempEngine.h"

namespace tabshift {

TABSDatabaseDataList::TABSDatabaseDataList() {
  databases_.push_back(std::make_unique<TABSMemoryDatabaseData>());
  databases_.push_back(std::make_unique<TABSTemporaryDatabaseData>());
}

TABSDatabaseDataList& DatabaseDataList() {
  static TABSDatabaseDataList list;
  return list;
}

TABSDatabaseData& MemoryDatabaseData() {
  return *DatabaseDataList().Find("MEMORY");
}

TABSDatabaseData& TemporaryDatabaseData() {
  return *DatabaseDataList().Find("TEMP");
}

}  // namespace tabshift

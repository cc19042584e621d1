// The process-wide list of database data objects and the in-process databases it starts with.
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSMemEngine.h"

namespace tabshift {

TABSDatabaseDataList::TABSDatabaseDataList() {
  databases_.push_back(std::make_unique<TABSMemoryDatabaseData>());
}

TABSDatabaseDataList& DatabaseDataList() {
  static TABSDatabaseDataList list;
  return list;
}

TABSDatabaseData& MemoryDatabaseData() {
  return *DatabaseDataList().Find("MEMORY");
}

}  // namespace tabshift

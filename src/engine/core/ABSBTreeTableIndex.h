// A table's index kept as a B+ tree over the table's page manager: the index object the index
// manager makes for every index definition.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/ABSBTreeRecordIndex.h"
#include "engine/core/ABSIndexManager.h"

namespace tabshift {

class TABSBTreeTableIndex : public TABSIndex, private TABSIndexTableAccess {
 public:
  TABSBTreeTableIndex(const TABSIndexDef& definition, TABSBaseIndexManager& owner,
                      TABSPageManager& pages);
  ~TABSBTreeTableIndex() override;

  void CreateIndex(int32_t session) override;
  void DropIndex(int32_t session) override;
  void EmptyIndex(int32_t session) override;
  void InsertRecord(int32_t session, const uint8_t* record, const TABSRecordId& record_id) override;
  void DeleteRecord(int32_t session, const uint8_t* record, const TABSRecordId& record_id) override;
  bool KeyExists(int32_t session, const uint8_t* record, const TABSRecordId& record_id) override;
  void ReadRecordId(int32_t session, TABSNavigationRequest& request,
                    const uint8_t* key_record) override;
  int32_t RootPageNo() const override { return tree_->RootPageNo(); }

  TABSBTreeRecordIndex& Tree() { return *tree_; }

 private:
  bool ReadRecordBuffer(int32_t session, const TABSRecordId& record_id,
                        std::vector<uint8_t>& record) override;
  TABSIndexDescription Describe();
  std::vector<uint8_t> Copy(const uint8_t* record) const;

  std::unique_ptr<TABSBTreeRecordIndex> tree_;
  TABSIndexPositionCache position_cache_;
};

}  // namespace tabshift

// Cutting a corrupted page out of a table's page chain: the chain is relinked around it where
// the following page is known, otherwise it ends before it; the records or BLOB bytes it held
// are recorded as lost in the pending fields and the journal.
#include <algorithm>

#include "udb/UdbLow.h"

namespace tabshift::udb {

using namespace low;

int32_t TUdbTableEngine::RepairChain(int chain, uint32_t page) {
  head_[head::kPendingChain] = static_cast<uint8_t>(chain);
  PutHead(head::kPendingPage, page);
  PutHead(head::kRemovalFirst, 0);
  PutHead(head::kRemovalCount, 0);
  const int32_t result = chain == kBlobChain ? RepairBlobChain(page) : RepairDataChain(page);
  EmptyCache();
  if (result != kUdbOk) return result;
  PutHead(head::kVersion, HeadValue(head::kVersion) + 1);
  RecordEvent(kEventChainCut);
  return WriteHead();
}

// The BLOB space keeps its raw positions: a page with a known successor is replaced by a blank
// one, a last page is cut off together with the BLOB bytes from it on.
int32_t TUdbTableEngine::RepairBlobChain(uint32_t page) {
  const Chain& known = chains_[kBlobChain];
  const uint64_t lost_from = uint64_t{page} * info_.page_size;
  const uint32_t blob_end = HeadValue(head::kBlobEnd);
  PutHead(head::kPendingTarget, known.offsets[page]);
  if (page + 1 < known.offsets.size()) {
    if (lost_from < blob_end) {
      PutHead(head::kRemovalFirst, static_cast<uint32_t>(lost_from));
      PutHead(head::kRemovalCount, static_cast<uint32_t>(blob_end - lost_from));
    }
    std::fill(page_buffer_.begin(), page_buffer_.end(), 0xFF);
    Put32(page_buffer_.data() + kNextPageAt, known.offsets[page + 1]);
    return file_.BlockWrite(known.offsets[page], page_buffer_.data(), info_.page_size);
  }
  PutHead(head::kBlobPages, page);
  if (lost_from < blob_end) {
    PutHead(head::kBlobEnd, static_cast<uint32_t>(lost_from));
    PutHead(head::kRemovalFirst, static_cast<uint32_t>(lost_from));
  }
  return kUdbOk;
}

// Records of the cut pages are lost; the record count drops by their number.
int32_t TUdbTableEngine::RepairDataChain(uint32_t page) {
  Chain& known = chains_[kDataChain];
  const uint64_t per_page = std::max<uint32_t>(RecordsPerPage(), 1);
  const uint64_t records = HeadValue(head::kRecordCount);
  PutHead(head::kPendingTarget, static_cast<uint32_t>(records));
  if (page + 1 >= known.offsets.size()) {
    PutHead(head::kDataPages, page);
    if (page * per_page < records) {
      PutHead(head::kRemovalFirst, static_cast<uint32_t>(page * per_page));
      PutHead(head::kRemovalCount, static_cast<uint32_t>(records - page * per_page));
      PutHead(head::kRecordCount, static_cast<uint32_t>(page * per_page));
    }
    known.Truncate(page);
    return kUdbOk;
  }
  const uint32_t successor = known.offsets[page + 1];
  int64_t intact = static_cast<int64_t>(page) - 1;
  for (; intact >= 0; --intact) {
    const int32_t result =
        file_.BlockRead(known.offsets[intact], page_buffer_.data(), info_.page_size);
    if (result == kUdbOk) break;
    if (result != kUdbPageCorrupted) return result;
  }
  if (intact < 0) {
    PutHead(head::kFirstDataPage, successor);
  } else {
    Put32(page_buffer_.data() + kNextPageAt, successor);
    const int32_t result =
        file_.BlockWrite(known.offsets[intact], page_buffer_.data(), info_.page_size);
    if (result != kUdbOk) return result;
  }
  const uint32_t index_block = HeadValue(head::kIndexBlock);
  const uint64_t cut = page - intact;
  const uint64_t first_lost = (intact + 1) * per_page;
  PutHead(head::kIndexBlock, 0);
  PutHead(head::kPendingPage, static_cast<uint32_t>(intact + 1));
  PutHead(head::kDataPages, static_cast<uint32_t>(std::max<int64_t>(
                                0, int64_t{HeadValue(head::kDataPages)} - int64_t(cut))));
  if (first_lost < records) {
    const uint64_t lost = records < (page + 1) * per_page ? records - first_lost : cut * per_page;
    PutHead(head::kRemovalFirst, static_cast<uint32_t>(first_lost));
    PutHead(head::kRemovalCount, static_cast<uint32_t>(lost));
    PutHead(head::kRecordCount, static_cast<uint32_t>(records - lost));
  }
  int32_t result = WriteHeadCopies();
  if (result != kUdbOk) return result;
  std::vector<uint32_t> remaining(known.offsets.begin(), known.offsets.begin() + (intact + 1));
  remaining.insert(remaining.end(), known.offsets.begin() + page + 1, known.offsets.end());
  known.Clear();
  for (uint32_t offset : remaining) known.Append(offset);
  if (index_block != 0) {
    PutHead(head::kIndexBlock, index_block);
    result = WriteIndexBlock();
  }
  return result;
}

}  // namespace tabshift::udb

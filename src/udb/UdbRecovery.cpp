// Page writes through the journal slot, and the completion of writes and record removals that
// another process left unfinished, run when a file set opens.
#include <algorithm>
#include <cstring>

#include "udb/UdbLow.h"

namespace tabshift::udb {

using namespace low;

uint32_t TUdbTableEngine::DataAreaStart() const {
  return file_.DataAreaStart();
}

int32_t TUdbTableEngine::JournaledPageWrite(int chain, uint32_t page, int slot, bool finishing) {
  uint32_t next = kMissingPage;
  uint32_t target = kMissingPage;
  int32_t result = PageOffset(chain, page + 1, next);
  if (result == kUdbOk) result = PageOffset(chain, page, target);
  if (result == kUdbOk && target == kMissingPage) result = kUdbPageCorrupted;
  if (result != kUdbOk) return result;
  uint8_t* buffer = slots_[slot].buffer.data();
  Put32(buffer + kNextPageAt, next);
  result = file_.BlockWrite(base_, buffer, info_.page_size);
  if (result != kUdbOk) {
    slots_[slot].page = -1;
    return result;
  }
  head_[head::kPendingFlags] |= kPageWritePending;
  head_[head::kPendingChain] = static_cast<uint8_t>(chain);
  PutHead(head::kPendingPage, page);
  PutHead(head::kPendingTarget, target);
  result = WriteHead();
  if (result == kUdbOk) result = file_.BlockWrite(target, buffer, info_.page_size);
  if (result != kUdbOk) return result;
  slots_[slot].chain = chain;
  slots_[slot].page = static_cast<int32_t>(page);
  if (!finishing) return kUdbOk;
  head_[head::kPendingFlags] &= static_cast<uint8_t>(~kPageWritePending);
  PutHead(head::kVersion, HeadValue(head::kVersion) + 1);
  return WriteHead();
}

int32_t TUdbTableEngine::OpenCheck() {
  int32_t result = AcquireLock();
  if (result != kUdbOk) return result;
  const uint8_t flags = head_[head::kPendingFlags];
  if (flags & kPageWritePending) {
    result = RedoJournaledWrite();
  } else if (flags & kRemovalPending) {
    RecordEvent(kEventRecoveryStarted);
    result = WriteHead();
    if (result == kUdbOk) result = CompleteRemoval();
  } else if (flags & kRemovalPendingAhead) {
    RecordEvent(kEventRecoveryStarted);
    result = WriteHead();
    PutHead(head::kPendingPage, HeadValue(head::kPendingPage) - 1);
    head_[head::kPendingFlags] =
        static_cast<uint8_t>((flags & ~kRemovalPendingAhead) | kRemovalPending);
    if (result == kUdbOk) result = CompleteRemoval();
  }
  const int32_t released = ReleaseLock();
  return result != kUdbOk ? result : released;
}

// A journal slot that cannot be trusted, or that names a target inside the file's fixed
// regions, is dropped and the page it was meant for is checked instead.
int32_t TUdbTableEngine::RedoJournaledWrite() {
  RecordEvent(kEventRecoveryStarted);
  int32_t result = file_.BlockRead(base_, page_buffer_.data(), info_.page_size);
  const uint32_t target = HeadValue(head::kPendingTarget);
  if (result == kUdbOk && target < DataAreaStart()) result = kUdbPageCorrupted;
  if (result == kUdbOk) {
    result = file_.BlockWrite(target, page_buffer_.data(), info_.page_size);
    if (result != kUdbOk) return result;
    head_[head::kPendingFlags] &= static_cast<uint8_t>(~kPageWritePending);
    PutHead(head::kVersion, HeadValue(head::kVersion) + 1);
    EmptyCache();
    chains_[head_[head::kPendingChain] == kBlobChain].Clear();
    return WriteHead();
  }
  if (result != kUdbPageCorrupted) return result;
  RecordEvent(kEventJournalCorrupted);
  head_[head::kPendingFlags] &= static_cast<uint8_t>(~kPageWritePending);
  result = WriteHead();
  if (result != kUdbOk) return result;
  const int chain = head_[head::kPendingChain] == kBlobChain ? kBlobChain : kDataChain;
  const uint32_t page = HeadValue(head::kPendingPage);
  if (page >= HeadValue(chain == kDataChain ? head::kDataPages : head::kBlobPages)) return kUdbOk;
  return LoadPageInto(chain, page, 0);
}

// Moves the records after a removed run forward, page by page from the cursor on; the pages
// before the cursor are already rebuilt.
int32_t TUdbTableEngine::CompleteRemoval() {
  const uint64_t total = HeadValue(head::kRecordCount);
  const uint64_t first = HeadValue(head::kRemovalFirst);
  const uint64_t count = HeadValue(head::kRemovalCount);
  const uint32_t per_page = RecordsPerPage();
  if (per_page == 0 || first > total || count > total - first) return kUdbHeadCorrupted;
  const uint64_t remaining = total - count;
  const int64_t last_page = remaining == 0 ? -1 : static_cast<int64_t>((remaining - 1) / per_page);
  int64_t cursor = static_cast<int32_t>(HeadValue(head::kPendingPage));
  while (cursor < last_page) {
    ++cursor;
    PutHead(head::kPendingPage, static_cast<uint32_t>(cursor));
    const int32_t result = MoveRecordsIntoPage(static_cast<uint32_t>(cursor), first, count, total);
    if (result != kUdbOk) return result;
  }
  head_[head::kPendingFlags] &= static_cast<uint8_t>(~(kPageWritePending | kRemovalPending));
  PutHead(head::kRecordCount, static_cast<uint32_t>(total - count));
  if (total == count) PutHead(head::kBlobEnd, 0);
  PutHead(head::kVersion, HeadValue(head::kVersion) + 1);
  return WriteHead();
}

int32_t TUdbTableEngine::MoveRecordsIntoPage(uint32_t page, uint64_t first, uint64_t count,
                                             uint64_t total) {
  const uint32_t per_page = RecordsPerPage();
  const uint32_t size = info_.record_size;
  const uint64_t page_first = uint64_t{page} * per_page;
  uint64_t destination = first / per_page == page ? first : page_first;
  int32_t result = LoadPageInto(kDataChain, page, 0);
  if (result != kUdbOk) return result;
  int64_t source_page = -1;
  for (; destination < page_first + per_page; ++destination) {
    const uint64_t source = destination + count;
    if (source >= total) break;
    if (static_cast<int64_t>(source / per_page) != source_page) {
      source_page = static_cast<int64_t>(source / per_page);
      if (source_page == page) {
        // Slot 1 gets a copy of the page being rebuilt, not a page of its own.
        slots_[1].buffer = slots_[0].buffer;
        slots_[1].page = -1;
      } else {
        result = LoadPageInto(kDataChain, static_cast<uint32_t>(source_page), 1);
        if (result != kUdbOk) return result;
      }
    }
    std::memcpy(slots_[0].buffer.data() + kPageHeader + (destination - page_first) * size,
                slots_[1].buffer.data() + kPageHeader + (source % per_page) * size, size);
  }
  EmptyCache();
  return JournaledPageWrite(kDataChain, page, 0, false);
}

}  // namespace tabshift::udb

#include <algorithm>
#include <cstring>

#include "udb/UdbLow.h"

namespace tabshift::udb {

using namespace low;

void TUdbTableEngine::Chain::Clear() {
  offsets.clear();
  seen.clear();
}

void TUdbTableEngine::Chain::Assign(const uint8_t* entries, uint32_t count) {
  Clear();
  for (uint32_t i = 0; i < count; ++i) offsets.push_back(Get32(entries + 4 * i));
  seen.insert(offsets.begin(), offsets.end());
}

bool TUdbTableEngine::Chain::Append(uint32_t offset) {
  if (!seen.insert(offset).second) return false;
  offsets.push_back(offset);
  return true;
}

void TUdbTableEngine::Chain::Truncate(size_t count) {
  for (size_t i = count; i < offsets.size(); ++i) seen.erase(offsets[i]);
  if (count < offsets.size()) offsets.resize(count);
}

TUdbTableEngine::TUdbTableEngine(TUdbFileEngine& file, uint32_t index, uint32_t base,
                                 TUdbTableInfo info)
    : file_(file),
      index_(index),
      base_(base),
      info_(std::move(info)),
      records_per_page_(CountRecordsPerPage(info_)) {
  for (Chain& chain : chains_) chain.offsets.reserve(48);
}

TUdbTableEngine::~TUdbTableEngine() {
  if (lock_count_ > 0) {
    lock_count_ = 1;
    ReleaseLock();
  }
}

// A table without any stored bytes per record puts all its records into the first page slot.
uint32_t TUdbTableEngine::CountRecordsPerPage(const TUdbTableInfo& info) {
  const uint32_t payload = info.page_size - kPageHeader;
  if (info.record_size == 0) return payload;
  return payload / info.record_size;
}

bool TUdbTableEngine::LocksBytes() const {
  return file_.ModeWord() != kModeExclusive;
}

bool TUdbTableEngine::ReadsHeadOnce() const {
  return file_.ModeWord() == kModeExclusive || file_.ModeWord() == kModeDenyWrite;
}

int32_t TUdbTableEngine::AcquireLock() {
  if (lock_count_ == 0) {
    if (LocksBytes()) {
      const int32_t result = file_.LockByte(LockByte());
      if (result != kUdbOk) return result;
    }
    const int32_t result = RefreshHead();
    if (result != kUdbOk) {
      if (LocksBytes()) file_.UnlockByte(LockByte());
      return result;
    }
  }
  ++lock_count_;
  return kUdbOk;
}

int32_t TUdbTableEngine::ReleaseLock() {
  if (lock_count_ == 0) return kUdbOk;
  if (--lock_count_ == 0 && LocksBytes()) return file_.UnlockByte(LockByte());
  return kUdbOk;
}

int32_t TUdbTableEngine::EnsureHead() {
  if (head_loaded_) return kUdbOk;
  const int32_t result = AcquireLock();
  if (result != kUdbOk) return result;
  return ReleaseLock();
}

int32_t TUdbTableEngine::ReadVersion(uint32_t& version) {
  int32_t result = AcquireLock();
  if (result != kUdbOk) return result;
  version = HeadValue(head::kVersion);
  return ReleaseLock();
}

void TUdbTableEngine::PrepareBuffers() {
  if (buffers_ready_) return;
  for (Slot& slot : slots_) {
    slot.buffer.assign(info_.page_size, 0);
    slot.page = -1;
  }
  page_buffer_.assign(info_.page_size, 0);
  buffers_ready_ = true;
}

void TUdbTableEngine::EmptyCache() {
  for (Slot& slot : slots_) slot.page = -1;
}

int32_t TUdbTableEngine::RefreshHead() {
  if (ReadsHeadOnce() && head_loaded_) return kUdbOk;
  PrepareBuffers();
  const uint32_t version = HeadValue(head::kVersion);
  const std::array<uint8_t, kHeadSize> previous = head_;
  const int32_t primary = file_.BlockReadRemembered(kHeadArray + kHeadSize * index_, head_.data(),
                                                    kHeadSize, head_memos_[0]);
  const int32_t back = file_.BlockReadRemembered(base_ + info_.page_size, scratch_head_.data(),
                                                 kHeadSize, head_memos_[1]);
  if (primary != kUdbOk || back != kUdbOk) {
    const int32_t result = RepairHead(primary, back);
    if (result == kUdbReadError) head_ = previous;
    if (result != kUdbOk) return result;
  }
  const bool changed = HeadValue(head::kVersion) != version;
  if (changed) {
    // Another process changed the table: cached pages and known chains may be stale.
    EmptyCache();
    for (Chain& chain : chains_) chain.Clear();
  }
  if (HeadValue(head::kIndexBlock) > 0 && (!head_loaded_ || changed)) ReadIndexBlock();
  head_loaded_ = true;
  return kUdbOk;
}

int32_t TUdbTableEngine::RepairHead(int32_t primary, int32_t back) {
  if (primary == kUdbReadError || back == kUdbReadError) return kUdbReadError;
  if (primary != kUdbOk && back != kUdbOk) {
    head_.fill(0);
    PutHead(head::kRemovalCount, kHeadReset);
    RecordEvent(kEventHeadRepaired);
    WriteHead();
    EmptyCache();
    for (Chain& chain : chains_) chain.Clear();
    return kUdbHeadCorrupted;
  }
  if (primary != kUdbOk) {
    head_ = scratch_head_;
    PutHead(head::kRemovalCount, kPrimaryRestored);
  } else {
    PutHead(head::kRemovalCount, kBackRestored);
  }
  RecordEvent(kEventHeadRepaired);
  return WriteHead();
}

void TUdbTableEngine::ReadIndexBlock() {
  std::vector<uint8_t> block(kIndexBlockSize);
  const bool accepted =
      file_.BlockRead(HeadValue(head::kIndexBlock), block.data(), kIndexBlockSize) == kUdbOk &&
      Get16(block.data() + 2) == index_ && Get32(block.data() + 4) > 0 &&
      Get32(block.data() + 4) <= kIndexBlockEntries &&
      Get32(block.data() + kIndexEntriesAt) == HeadValue(head::kFirstDataPage) &&
      HeadValue(head::kDataPages) >= Get32(block.data() + 4);
  if (!accepted) {
    PutHead(head::kIndexBlock, 0);
    return;
  }
  const uint32_t entries = Get32(block.data() + 4);
  if (entries > chains_[kDataChain].offsets.size()) {
    chains_[kDataChain].Assign(block.data() + kIndexEntriesAt, entries);
  }
}

void TUdbTableEngine::RecordEvent(uint16_t code) {
  uint8_t& used = head_[head::kJournalUsed];
  if (used < head::kJournalEntries) ++used;
  uint8_t& newest = head_[head::kJournalNewest];
  newest = static_cast<uint8_t>(newest + 1u >= head::kJournalEntries ? 0 : newest + 1);
  uint8_t* entry = head_.data() + head::kJournal + head::kJournalEntrySize * newest;
  Put16(entry, code);
  std::memcpy(entry + 2, head_.data() + head::kPendingFlags, head::kPendingBlockSize);
}

int32_t TUdbTableEngine::WriteHead() {
  if (HeadValue(head::kIndexBlock) == 0 && chains_[kDataChain].offsets.size() > 8) {
    WriteIndexBlock();
    file_.Flush();
  }
  return WriteHeadCopies();
}

int32_t TUdbTableEngine::WriteHeadCopies() {
  scratch_head_ = head_;
  int32_t result =
      file_.BlockWrite(kHeadArray + kHeadSize * index_, scratch_head_.data(), kHeadSize);
  if (result != kUdbOk) return result;
  return file_.BlockWrite(base_ + info_.page_size, scratch_head_.data(), kHeadSize);
}

int32_t TUdbTableEngine::WriteIndexBlock() {
  std::vector<uint8_t> block(kIndexBlockSize, 0);
  const auto& offsets = chains_[kDataChain].offsets;
  const uint32_t count =
      static_cast<uint32_t>(std::min<size_t>(offsets.size(), kIndexBlockEntries));
  Put16(block.data() + 2, static_cast<uint16_t>(index_));
  Put32(block.data() + 4, count);
  for (uint32_t i = 0; i < count; ++i) Put32(block.data() + kIndexEntriesAt + 4 * i, offsets[i]);
  if (HeadValue(head::kIndexBlock) != 0) {
    const int32_t result =
        file_.BlockWrite(HeadValue(head::kIndexBlock), block.data(), kIndexBlockSize);
    if (result != kUdbOk) PutHead(head::kIndexBlock, 0);
    return result;
  }
  int32_t result = file_.AcquireAppendLock();
  if (result != kUdbOk) return result;
  const int64_t size = file_.FileSize();
  const uint32_t at =
      size < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(size, kWriteLimit) & ~int64_t{0x1FF});
  result = size < 0 ? kUdbWriteError : file_.BlockWrite(at, block.data(), kIndexBlockSize);
  if (result == kUdbOk) PutHead(head::kIndexBlock, at);
  const int32_t released = file_.ReleaseAppendLock();
  return result != kUdbOk ? result : released;
}

// Known offsets are taken as they are; a chain that leads back to a page already on it loops
// and counts as corrupted.
int32_t TUdbTableEngine::PageOffset(int chain, uint32_t page, uint32_t& offset) {
  offset = kMissingPage;
  if (page >= HeadValue(chain == kDataChain ? head::kDataPages : head::kBlobPages)) return kUdbOk;
  Chain& known = chains_[chain];
  if (page < known.offsets.size()) {
    offset = known.offsets[page];
    return kUdbOk;
  }
  const int32_t result = WalkChain(chain, page);
  if (result != kUdbOk) return result;
  offset = known.offsets[page];
  return kUdbOk;
}

int32_t TUdbTableEngine::WalkChain(int chain, uint32_t page) {
  PrepareBuffers();
  Chain& known = chains_[chain];
  if (known.offsets.empty()) {
    known.Append(HeadValue(chain == kDataChain ? head::kFirstDataPage : head::kFirstBlobPage));
  }
  while (known.offsets.size() <= page) {
    const uint32_t last = static_cast<uint32_t>(known.offsets.size() - 1);
    // A cached page was read under the current table version (a change empties the cache), so
    // its next-page offset is the one a new read would find; reading in order walks from the
    // page loaded just before.
    const int cached = CachedSlot(chain, last);
    const uint8_t* bytes = cached >= 0 ? slots_[cached].buffer.data() : page_buffer_.data();
    if (cached < 0) {
      const int32_t result =
          file_.BlockRead(known.offsets[last], page_buffer_.data(), info_.page_size);
      if (result == kUdbPageCorrupted) {
        RepairChain(chain, last);
        return kUdbPageCorrupted;
      }
      if (result != kUdbOk) return result;
    }
    if (!known.Append(Get32(bytes + kNextPageAt))) return kUdbPageCorrupted;
  }
  return kUdbOk;
}

// The last loaded slot is looked at first: records and BLOB bytes are mostly read in order.
int TUdbTableEngine::CachedSlot(int chain, uint32_t page) const {
  const auto holds = [&](int s) {
    return slots_[s].page == static_cast<int32_t>(page) && slots_[s].chain == chain;
  };
  if (holds(last_loaded_)) return last_loaded_;
  for (int s = 0; s < kCacheSlots; ++s) {
    if (holds(s)) return s;
  }
  return -1;
}

int TUdbTableEngine::ChooseSlot() const {
  for (int slot = kCacheSlots - 1; slot >= 0; --slot) {
    if (slots_[slot].page < 0) return slot;
  }
  return (last_loaded_ + 1) % kCacheSlots;
}

// A page outside the chain cannot be loaded; the request fails as a corrupted page.
int32_t TUdbTableEngine::LoadPage(int chain, uint32_t page, int& slot) {
  if (!head_loaded_) {
    const int32_t result = EnsureHead();
    if (result != kUdbOk) return result;
  }
  if (page >= HeadValue(chain == kDataChain ? head::kDataPages : head::kBlobPages)) {
    return kUdbPageCorrupted;
  }
  slot = CachedSlot(chain, page);
  if (slot >= 0) return kUdbOk;
  slot = ChooseSlot();
  return LoadPageInto(chain, page, slot);
}

int32_t TUdbTableEngine::LoadPageInto(int chain, uint32_t page, int slot) {
  int32_t result = AcquireLock();
  if (result != kUdbOk) return result;
  Slot& target = slots_[slot];
  target.page = -1;
  uint32_t offset = kMissingPage;
  result = PageOffset(chain, page, offset);
  if (result == kUdbOk && offset == kMissingPage) result = kUdbPageCorrupted;
  if (result == kUdbOk) {
    result = file_.BlockRead(offset, target.buffer.data(), info_.page_size);
    if (result == kUdbPageCorrupted) RepairChain(chain, page);
  }
  if (result == kUdbOk) {
    target.chain = chain;
    target.page = static_cast<int32_t>(page);
    last_loaded_ = slot;
  }
  const int32_t released = ReleaseLock();
  return result != kUdbOk ? result : released;
}

}  // namespace tabshift::udb

// The file-level and table-level reading engine of a Udb file set. The file engine opens and
// checks the main file, reads the catalogue, reads and writes checksummed blocks and finds
// field values; each table engine keeps its table consistent with other processes through a
// 1-byte lock and the table version, caches pages, walks and repairs page chains and completes
// writes that another process left unfinished. Both report numeric result codes (UdbResult).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/File.h"
#include "platform/FileView.h"
#include "udb/Decoder.h"
#include "udb/UdbError.h"
#include "udb/UdbFormat.h"
#include "udb/udbtape.h"

namespace tabshift::udb {

class TUdbFileEngine;

// The last good read of a block that is read again and again (a table head): reading the same
// stored bytes again needs no decoding, as decoding depends on nothing but those bytes.
// `viewable` says the stored bytes can be recognised in the mapped head area: bytes past a
// file end shrunk by another process show there as zeros, so an all-zero block cannot be.
struct TUdbReadMemo {
  bool valid = false;
  bool viewable = false;
  std::vector<uint8_t> stored;
  std::vector<uint8_t> decoded;
};

struct TUdbFieldInfo {
  std::string name;
  uint8_t type = 0;
  uint16_t size = 0;
  uint32_t offset = 0;
};

// Directory values of one catalogue table.
struct TUdbTableInfo {
  std::string name;
  uint8_t key_field_count = 0;
  uint32_t page_size = low::kDefaultPageSize;
  std::vector<TUdbFieldInfo> fields;
  uint32_t record_size = 0;  // may exceed 16 bits in a malformed catalogue
};

class TUdbTableEngine {
 public:
  static constexpr int kCacheSlots = 8;

  TUdbTableEngine(TUdbFileEngine& file, uint32_t index, uint32_t base, TUdbTableInfo info);
  ~TUdbTableEngine();
  TUdbTableEngine(const TUdbTableEngine&) = delete;
  TUdbTableEngine& operator=(const TUdbTableEngine&) = delete;

  const TUdbTableInfo& Info() const { return info_; }
  uint32_t Index() const { return index_; }
  uint32_t Base() const { return base_; }
  uint32_t PageSize() const { return info_.page_size; }
  // 0 when a record does not fit into a page.
  uint32_t RecordsPerPage() const { return records_per_page_; }

  // Nestable; the first acquisition locks the table's byte (not in Exclusive mode) and
  // refreshes the head.
  int32_t AcquireLock();
  int32_t ReleaseLock();
  bool HeadLoaded() const { return head_loaded_; }
  // Reads the head once (one lock round trip) when it was never read.
  int32_t EnsureHead();
  const uint8_t* Head() const { return head_.data(); }
  uint32_t HeadValue(uint32_t offset) const { return low::Get32(head_.data() + offset); }
  // The table version under the table lock.
  int32_t ReadVersion(uint32_t& version);

  int32_t PageOffset(int chain, uint32_t page, uint32_t& offset);
  // Brings a page into the cache; `slot` receives the slot that holds it.
  int32_t LoadPage(int chain, uint32_t page, int& slot);
  const uint8_t* SlotData(int slot) const { return slots_[slot].buffer.data(); }
  uint8_t* SlotBuffer(int slot) { return slots_[slot].buffer.data(); }
  int32_t SlotPage(int slot) const { return slots_[slot].page; }
  int LastLoadedSlot() const { return last_loaded_; }

  // Writes the page in `slot` as page `page` of `chain` through the journal slot; with
  // `finishing` the write is completed and the table version increased at once. Call with the
  // table lock held.
  int32_t JournaledPageWrite(int chain, uint32_t page, int slot, bool finishing);
  int32_t WriteHead();
  void RecordEvent(uint16_t code);
  // Completes interrupted page writes and record removals; run when the file set opens.
  int32_t OpenCheck();

 private:
  struct Slot {
    int chain = 0;
    int32_t page = -1;
    std::vector<uint8_t> buffer;
  };
  struct Chain {
    std::vector<uint32_t> offsets;  // known page offsets in chain order
    std::unordered_set<uint32_t> seen;
    void Clear();
    void Assign(const uint8_t* entries, uint32_t count);
    bool Append(uint32_t offset);  // false when the offset is known already: the chain loops
    void Truncate(size_t count);
  };

  static uint32_t CountRecordsPerPage(const TUdbTableInfo& info);
  bool LocksBytes() const;
  bool ReadsHeadOnce() const;
  uint32_t LockByte() const { return low::kTableLockBase + index_; }
  void PrepareBuffers();
  int32_t RefreshHead();
  int32_t RepairHead(int32_t primary, int32_t back);
  void ReadIndexBlock();
  int32_t WriteIndexBlock();
  int32_t WriteHeadCopies();
  void PutHead(uint32_t offset, uint32_t value) { low::Put32(head_.data() + offset, value); }
  void EmptyCache();
  // The slot holding (chain, page), or -1.
  int CachedSlot(int chain, uint32_t page) const;
  int ChooseSlot() const;
  int32_t LoadPageInto(int chain, uint32_t page, int slot);
  int32_t WalkChain(int chain, uint32_t page);
  int32_t RepairChain(int chain, uint32_t page);
  int32_t RepairBlobChain(uint32_t page);
  int32_t RepairDataChain(uint32_t page);
  int32_t RedoJournaledWrite();
  int32_t CompleteRemoval();
  int32_t MoveRecordsIntoPage(uint32_t page, uint64_t first, uint64_t count, uint64_t total);
  uint32_t DataAreaStart() const;

  TUdbFileEngine& file_;
  uint32_t index_;
  uint32_t base_;
  TUdbTableInfo info_;
  uint32_t records_per_page_;

  std::array<uint8_t, low::kHeadSize> head_{};
  std::array<uint8_t, low::kHeadSize> scratch_head_{};
  std::array<TUdbReadMemo, 2> head_memos_;
  bool head_loaded_ = false;
  bool buffers_ready_ = false;
  int lock_count_ = 0;
  std::array<Chain, 2> chains_;
  std::array<Slot, kCacheSlots> slots_;
  int last_loaded_ = 0;
  std::vector<uint8_t> page_buffer_;
};

class TUdbFileEngine {
 public:
  TUdbFileEngine();
  ~TUdbFileEngine();
  TUdbFileEngine(const TUdbFileEngine&) = delete;
  TUdbFileEngine& operator=(const TUdbFileEngine&) = delete;

  int32_t Open();
  void Close();
  bool IsOpen() const { return open_; }

  int32_t SetFileName(const std::string& name);
  const std::string& FileName() const { return file_name_; }
  // The reserved password "**RAWPAGES**" switches to the pass-through decoder.
  int32_t SetPassword(std::string_view password);
  int32_t SetModeWord(uint16_t mode);
  uint16_t ModeWord() const { return mode_; }
  int32_t SetTapePath(const std::string& path);
  const std::string& TapePath() const { return tape_path_; }
  const TUdbTape& Tape() const { return tape_; }
  uint16_t FormatVersion() const { return format_version_; }
  TUdbDecoder& Decoder() { return *decoder_; }

  size_t TableCount() const { return tables_.size(); }
  TUdbTableEngine& Table(size_t index) { return *tables_[index]; }
  uint32_t DataAreaStart() const { return data_area_start_; }

  // Reads, checks and decodes a block; 0, 17 (read failure or unstable read) or 20.
  int32_t BlockRead(uint32_t offset, uint8_t* buffer, uint32_t length);
  // BlockRead for blocks that are read again and again (the table heads).
  int32_t BlockReadRemembered(uint32_t offset, uint8_t* buffer, uint32_t length,
                              TUdbReadMemo& memo);
  // Stores the checksum and writes the encoded form of a decoded block; 0 or 16.
  int32_t BlockWrite(uint32_t offset, const uint8_t* buffer, uint32_t length);
  int32_t LockByte(uint32_t offset);
  int32_t UnlockByte(uint32_t offset);
  int32_t AcquireAppendLock();
  int32_t ReleaseAppendLock();
  int64_t FileSize() { return handle_.Size(); }
  bool Modified() const { return modified_; }
  void Flush();

  // The stored bytes of a field of a record; valid until the next page load.
  int32_t FieldValue(uint32_t table, uint32_t field, int64_t record, const uint8_t*& bytes);
  // Bytes offset to offset + count - 1 of a fixed-bytes value or of a BLOB; `done` receives
  // the number copied.
  int32_t PartialRead(uint32_t table, uint32_t field, int64_t record, uint32_t offset,
                      uint32_t count, uint8_t* destination, uint32_t& done);

 private:
  int32_t OpenFile();
  int32_t CheckHeader(std::vector<uint8_t>& header);
  int32_t BuildTables(const std::vector<uint8_t>& header);
  int32_t ReadTwice(uint32_t offset, uint8_t* buffer, uint32_t length);
  bool UnchangedInHeadArea(uint32_t offset, uint32_t length, const TUdbReadMemo& memo);
  int32_t CheckRecord(uint32_t table, uint32_t field, int64_t record);
  int32_t ReadBlobBytes(TUdbTableEngine& table, uint32_t start, uint32_t offset, uint32_t count,
                        uint8_t* destination);

  platform::File handle_;
  // The heads and journal slots of all tables, mapped in the modes that re-read the heads at
  // every table lock, so that an unchanged head costs no system call.
  platform::FileView head_area_;
  bool open_ = false;
  std::string file_name_;
  std::string password_;
  std::string tape_path_;
  uint16_t mode_ = low::kModeShare;
  uint16_t format_version_ = low::kNewestFormat;
  std::unique_ptr<TUdbDecoder> decoder_;
  std::vector<std::unique_ptr<TUdbTableEngine>> tables_;
  uint32_t data_area_start_ = 0;
  int append_lock_count_ = 0;
  bool modified_ = false;
  std::vector<uint8_t> second_read_;
  std::vector<uint8_t> raw_read_;
  std::vector<uint8_t> write_buffer_;
  TUdbTape tape_;
};

}  // namespace tabshift::udb

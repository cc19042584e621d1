// The fixed layout of a Udb main file: header, lock area, table heads, pages and the page
// index block, with little-endian access helpers. All offsets count bytes.
#pragma once

#include <cstdint>

namespace tabshift::udb::low {

inline constexpr uint32_t kMagic = 0xAF52C369;
inline constexpr uint32_t kHeaderSize = 0x7C00;
inline constexpr uint32_t kHeaderEncodedStart = 6;
inline constexpr uint32_t kHeaderChecksumStart = 8;
inline constexpr uint32_t kDirectoryStart = 11;
inline constexpr uint32_t kDirectoryEntrySize = 29;
inline constexpr uint32_t kLongDescriptorSize = 36;  // format versions 0 to 2
inline constexpr uint32_t kMaxTableName = 24;
inline constexpr uint32_t kMaxFieldName = 32;
inline constexpr uint16_t kNewestFormat = 3;

inline constexpr uint32_t kTableLockBase = 0x7C00;
inline constexpr uint32_t kAppendLockByte = 0x7FFF;
inline constexpr uint32_t kHeadArray = 0x8000;
inline constexpr uint32_t kHeadSize = 512;
inline constexpr uint32_t kDefaultPageSize = 4096;

inline constexpr uint32_t kPageHeader = 6;  // checksum and next-page offset
inline constexpr uint32_t kNextPageAt = 2;
inline constexpr uint32_t kMissingPage = 0x7FFFFFFF;
inline constexpr uint32_t kIndexBlockSize = 0xC000;
inline constexpr uint32_t kIndexBlockEntries = 12286;
inline constexpr uint32_t kIndexEntriesAt = 8;
// A write whose end reaches this offset fails.
inline constexpr uint64_t kWriteLimit = 0x7FFFFFFF;

// Chains of a table.
inline constexpr int kDataChain = 0;
inline constexpr int kBlobChain = 1;

// Offsets within a table head.
namespace head {
inline constexpr uint32_t kDataPages = 2;
inline constexpr uint32_t kBlobPages = 6;
inline constexpr uint32_t kFirstDataPage = 10;
inline constexpr uint32_t kFirstBlobPage = 14;
inline constexpr uint32_t kRecordCount = 18;
inline constexpr uint32_t kBlobEnd = 22;
inline constexpr uint32_t kVersion = 26;
inline constexpr uint32_t kIndexBlock = 30;
inline constexpr uint32_t kPendingFlags = 46;
inline constexpr uint32_t kPendingChain = 47;
inline constexpr uint32_t kPendingPage = 48;  // also the cursor of a pending removal
inline constexpr uint32_t kRemovalFirst = 52;
inline constexpr uint32_t kRemovalCount = 56;  // also the detail of event 18
inline constexpr uint32_t kPendingTarget = 60;
inline constexpr uint32_t kPendingBlockSize = 18;  // bytes 46 to 63, copied into journal entries
inline constexpr uint32_t kJournalUsed = 80;
inline constexpr uint32_t kJournalNewest = 81;
inline constexpr uint32_t kJournal = 82;
inline constexpr uint32_t kJournalEntrySize = 20;
inline constexpr uint32_t kJournalEntries = 21;
}  // namespace head

// Bits of the pending flags.
inline constexpr uint8_t kPageWritePending = 1;
inline constexpr uint8_t kRemovalPending = 2;
inline constexpr uint8_t kRemovalPendingAhead = 4;

// Journal event codes.
inline constexpr uint16_t kEventHeadRepaired = 18;
inline constexpr uint16_t kEventRecoveryStarted = 19;
inline constexpr uint16_t kEventChainCut = 20;
inline constexpr uint16_t kEventJournalCorrupted = 21;

// Details of event 18.
inline constexpr uint32_t kPrimaryRestored = 1;
inline constexpr uint32_t kBackRestored = 2;
inline constexpr uint32_t kHeadReset = 3;

// Open-mode words: access in the low 4 bits, sharing in bits 4 to 6.
inline constexpr uint16_t kModeShare = 0x42;
inline constexpr uint16_t kModeReadOnly = 0x40;
inline constexpr uint16_t kModeDenyWrite = 0x22;
inline constexpr uint16_t kModeExclusive = 0x12;

inline uint16_t Get16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}
inline uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}
inline uint64_t Get64(const uint8_t* at) {
  return static_cast<uint64_t>(Get32(at)) | (static_cast<uint64_t>(Get32(at + 4)) << 32);
}
inline void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
inline void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace tabshift::udb::low

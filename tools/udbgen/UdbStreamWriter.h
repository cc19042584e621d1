// Writes a Udb file set row by row straight to disk, so that tables of millions of rows and
// large BLOBs never have to be held in memory. Pages are appended to the file as they fill
// (data and BLOB pages of all tables interleave) and chained in the order they were started;
// the heads and page index blocks follow at Finish.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UdbBlockCodec.h"
#include "UdbWriter.h"
#include "platform/File.h"

namespace tabshift::udbgen {

inline constexpr uint32_t kHeaderSize = 0x7C00;
inline constexpr uint32_t kHeadArray = 0x8000;
inline constexpr uint32_t kHeadSize = 512;
inline constexpr uint32_t kPageIndexSize = 0xC000;
inline constexpr uint32_t kPageIndexEntries = 12286;
inline constexpr uint32_t kPageHeader = 6;
inline constexpr uint32_t kNoPage = 0x7FFFFFFF;

using Head = std::array<uint8_t, kHeadSize>;

class UdbStreamWriter {
 public:
  // Creates the file with the description's catalogue, password and decoder; the rows and
  // damage options of the description are not used here.
  UdbStreamWriter(const std::string& path, const UdbDescription& catalogue);
  ~UdbStreamWriter();
  UdbStreamWriter(const UdbStreamWriter&) = delete;
  UdbStreamWriter& operator=(const UdbStreamWriter&) = delete;

  // Appends a row; the rows of a table must come in key order unless it keeps its row order.
  void AddRow(size_t table, const Row& row);
  // The stored record of a row, its BLOBs written to the table's BLOB space on the way.
  std::vector<uint8_t> EncodeRow(size_t table, const Row& row);
  // Appends a stored record of the table's record size.
  void AddRecordImage(size_t table, const uint8_t* image);

  // Closes the chains, writes the page index blocks and both head copies of every table.
  UdbFileLayout Finish();

  // After Finish: block access for damage and checks. Blocks are given and returned decoded.
  Head& HeadOf(size_t table);
  void WriteHeads(size_t table);
  void WriteBlock(uint32_t offset, std::vector<uint8_t> decoded);
  // Writes a block of garbage whose stored checksum does not match, for either decoder.
  void WriteCorruptBlock(uint32_t offset, uint32_t length);
  DecodedBlock ReadBlock(uint32_t offset, uint32_t length);
  // Stores in bytes 0 and 1 the checksum of the rest, as a block write does.
  void SetChecksum(std::vector<uint8_t>& decoded) const;
  uint64_t FileSize();

 private:
  struct Chain;
  struct Table;

  void WriteHeader(const UdbDescription& catalogue);
  uint32_t Allocate(uint32_t length);
  void StartPage(Table& table, Chain& chain);
  void CloseChain(Chain& chain);
  void WritePage(Chain& chain, uint32_t next);
  void WriteBlob(Table& table, const BlobValue& blob, uint8_t* reference);
  void WritePageIndex(Table& table);
  void BuildHead(const Table& table, Head& head) const;
  void WriteAt(uint64_t offset, const uint8_t* bytes, size_t length);

  platform::File file_;
  UdbBlockCodec codec_;
  std::vector<std::unique_ptr<Table>> tables_;
  uint64_t file_end_ = 0;
  bool finished_ = false;
};

// A stored page size of 0 stands for 4096.
uint32_t EffectivePageSize(uint16_t stored);
// The declared size of a field: its own, or its type's; throws std::invalid_argument when the
// type needs a size or has a fixed one that differs.
uint16_t DeclaredSize(const FieldSpec& field);

// Stored form of a value and key order of rows (UdbValues.cpp).
void StoreValue(const FieldSpec& field, const Value& value, uint8_t* destination);
const BlobValue* AsBlob(const Value& value, BlobValue& holder);
int CompareKeys(const std::vector<FieldSpec>& fields, uint8_t key_fields, const Row& left,
                const Row& right);

}  // namespace tabshift::udbgen

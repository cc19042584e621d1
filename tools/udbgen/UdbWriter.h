// A writer of Udb file sets for tests, samples and benchmarks. It builds complete files from a
// description (catalogue, rows, BLOBs, password and decoder) and, on request, the damaged and
// interrupted states a reader has to repair. It reports where it put every structure and what a
// reader should make of each damage, so a test can check repaired bytes and values.
//
// A fixture in a few lines:
//   UdbDescription description;
//   description.password = "secret";
//   description.tables.push_back(TableSpec{
//       .name = "PEOPLE", .key_field_count = 1,
//       .fields = {Field("ID", UdbType::Int32), TextField("NAME", 30)},
//       .rows = {{int64_t{2}, std::string("Bea")}, {int64_t{1}, std::string("Al")}}});
//   description.tables[0].damage.primary_head = true;
//   const UdbFileLayout layout = WriteUdbFile(path, description);
//   // layout.tables[0].expected: journal event 18, detail 1, the repaired head's bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tabshift::udbgen {

// Stored type codes of Udb fields.
enum class UdbType : uint8_t {
  UInt8 = 0,
  Int16 = 1,
  Int32 = 2,
  Double = 3,
  Date = 4,  // day number from 30 December 1899
  Text = 5,  // length byte, then the characters; declared size = maximum length + 1
  Bytes = 6,
  Blob = 7,  // 32-bit length, then 32-bit raw start in the table's BLOB space
  Int64 = 8,
};

struct FieldSpec {
  std::string name{};
  UdbType type = UdbType::Int32;
  uint16_t size = 0;  // declared size; 0 takes the type's own size (text and bytes need one)
};

FieldSpec Field(std::string name, UdbType type);
// A text field holding up to `max_length` characters (declared size max_length + 1).
FieldSpec TextField(std::string name, uint16_t max_length);
FieldSpec BytesField(std::string name, uint16_t size);

struct Date {
  int32_t day = 0;  // 0 = 30.12.1899, valid up to 401768 = 31.12.2999
  friend bool operator==(const Date&, const Date&) = default;
};
Date DateOf(int year, int month, int day);

struct BlobValue {
  std::string bytes{};
  // Raw position in the BLOB space to place the BLOB at (at or after the end of the BLOBs
  // written before it in the table). Unset: right at that end.
  std::optional<uint32_t> raw_start{};
  friend bool operator==(const BlobValue&, const BlobValue&) = default;
};

// One value per field: integers for types 0, 1, 2 and 8 (and accepted for 3 and 4), double for
// 3, Date for 4, std::string for 5 and 6 (and for 7 as the BLOB's bytes), BlobValue for 7.
using Value = std::variant<int64_t, double, Date, std::string, BlobValue>;
using Row = std::vector<Value>;

enum class DecoderKind : uint8_t { Cipher, Plain };

// When the writer stores a page index block for a table.
enum class PageIndexMode : uint8_t {
  Auto,    // when the table has more than 8 data pages, as the file engine itself does
  Always,  // whenever the table has a data page
  Never,
};

// What state the page at its own place is in while a page write is pending.
enum class PendingTarget : uint8_t {
  Stale,  // the page as before the write: intact, its payload zero-filled
  Torn,   // the write broke off: the page fails its checksum
};

// A journaled page write that was interrupted after the head recorded it. The page at its own
// place is in the `target` state; the journal slot holds the page as described (intact) or
// fails its checksum.
struct PendingPageWrite {
  uint8_t chain = 0;  // 0 data, 1 BLOB
  uint32_t page = 0;
  bool journal_intact = true;
  PendingTarget target = PendingTarget::Stale;
};

// A removal of `count` records from record `first` that broke off while the data pages were
// being rebuilt. The described rows are the state before the removal. The first
// `rebuilt_pages` pages from the one holding record `first` on already hold the rows after the
// removal; the cursor in the head names the last of them (the page before, -1 for page 0, when
// none is rebuilt), and the journal slot holds it. The pages after it hold the rows before.
struct PendingRemoval {
  uint32_t first = 0;
  uint32_t count = 1;
  uint32_t rebuilt_pages = 0;
  bool cursor_ahead = false;  // stored as flag bit 2 with the cursor one page ahead
};

struct TableDamage {
  bool primary_head = false;
  bool back_head = false;
  std::optional<uint32_t> data_page{};  // this data page fails its checksum
  std::optional<uint32_t> blob_page{};  // this BLOB page fails its checksum
  std::optional<PendingPageWrite> pending_write{};
  std::optional<PendingRemoval> pending_removal{};
};

struct TableSpec {
  std::string name{};
  uint16_t page_size = 4096;  // stored as given: a multiple of 512, 0 standing for 4096
  uint8_t key_field_count = 0;
  std::vector<FieldSpec> fields{};
  std::vector<Row> rows{};      // any order: stored sorted by the key fields (stable)
  bool keep_row_order = false;  // store the rows as given, even against the key order
  uint32_t version = 1;
  PageIndexMode page_index = PageIndexMode::Auto;
  TableDamage damage{};
};

struct UdbDescription {
  uint16_t format_version = 3;
  DecoderKind decoder = DecoderKind::Cipher;
  std::string password{};
  std::vector<TableSpec> tables{};
};

// What a reader should find after opening the file set (the open check of every table) and,
// for a corrupted page, after meeting that page.
struct ExpectedRepair {
  std::vector<uint16_t> open_events;    // journal events the open check records, in order
  std::optional<uint32_t> head_detail;  // head offset 56 after a head repair: 1, 2 or 3
  uint32_t record_count = 0;            // after the open check
  uint32_t version = 0;                 // after the open check
  uint32_t blob_end = 0;                // after the open check
  // The decoded head (with its checksum) both copies should hold after the open check; empty
  // where it depends on more than the writer can tell (a cut during the open check, or a
  // completed removal that makes the reader store a new page index block). Journal entries
  // follow the wrap rule: the first event of a fresh journal goes to entry 1.
  std::vector<uint8_t> head_after_open;
  // Meeting the corrupted page cuts its chain: event 20, the version grows by 1 (not counted
  // in `version` above), and these are lost. A data page is linked around when the page after
  // it is known from the page index block, else the chain ends before it; a BLOB page always
  // ends the BLOB space. For a torn page under a corrupted journal slot the open check itself
  // meets it, and the fields above already include the cut.
  uint32_t lost_first = 0;  // first lost record
  uint32_t lost_count = 0;
  uint32_t record_count_after_cut = 0;
  uint32_t data_pages_after_cut = 0;
  uint32_t blob_pages_after_cut = 0;
  uint32_t blob_end_after_cut = 0;
};

// Where the writer put each structure of one table, and the head values it stored.
struct TableLayout {
  uint32_t page_size = 0;  // effective page size
  uint16_t record_size = 0;
  uint32_t records_per_page = 0;
  std::vector<uint16_t> field_offsets;
  uint32_t primary_head = 0;  // file offsets
  uint32_t journal_slot = 0;
  uint32_t back_head = 0;
  uint32_t page_index = 0;  // 0: none
  std::vector<uint32_t> data_pages;
  std::vector<uint32_t> blob_pages;
  uint32_t record_count = 0;
  uint32_t blob_end = 0;
  uint32_t version = 0;
  // The described rows in stored order (WriteUdbFile only); for a pending removal the rows
  // before it.
  std::vector<Row> stored_rows;
  ExpectedRepair expected;
};

struct UdbFileLayout {
  std::vector<TableLayout> tables;
  uint64_t file_size = 0;
};

// Writes the file set; throws std::invalid_argument for a description that cannot be stored
// and std::runtime_error when the file cannot be written.
UdbFileLayout WriteUdbFile(const std::string& path, const UdbDescription& description);

// The rows of a table in the order they are stored.
std::vector<Row> StoredRows(const TableSpec& table);

// Block access to a written file under the description's decoder and password (UdbFileEdit.cpp),
// for checks and for malformed fixtures. Blocks are heads, pages and page index blocks.
struct DecodedBlock {
  std::vector<uint8_t> bytes;
  bool checksum_ok = false;
};
using BlockEdit = std::function<void(std::vector<uint8_t>& decoded)>;

// Reads a block the way the file engine does: decodes it and tells whether its checksum holds.
DecodedBlock ReadUdbBlock(const std::string& path, const UdbDescription& description,
                          uint32_t offset, uint32_t length);
// Decodes a block, lets `edit` change it, and stores it again with a fresh checksum.
void EditUdbBlock(const std::string& path, const UdbDescription& description, uint32_t offset,
                  uint32_t length, const BlockEdit& edit);
// The same for the file header (0x7C00 bytes; `edit` sees bytes 0 to 5 as stored and the rest
// decoded; the checksum at 6 is computed afresh).
void EditUdbHeader(const std::string& path, const UdbDescription& description,
                   const BlockEdit& edit);
// Overwrites a block with garbage whose checksum fails.
void CorruptUdbBlock(const std::string& path, const UdbDescription& description, uint32_t offset,
                     uint32_t length);

}  // namespace tabshift::udbgen

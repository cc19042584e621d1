#include "UdbStreamWriter.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace tabshift::udbgen {
namespace {

constexpr uint32_t kMagic = 0xAF52C369;
constexpr uint32_t kDirectoryEntry = 29;
constexpr uint64_t kFileLimit = 0x7FFFFFFF;  // a block must end below 2^31 - 1

void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Stores a text as a length byte and its characters.
uint8_t* PutName(uint8_t* at, const std::string& name) {
  at[0] = static_cast<uint8_t>(name.size());
  std::memcpy(at + 1, name.data(), name.size());
  return at + 1 + name.size();
}

void Require(bool condition, const std::string& what) {
  if (!condition) throw std::invalid_argument(what);
}

}  // namespace

struct UdbStreamWriter::Chain {
  std::vector<uint32_t> offsets;  // file offsets in chain order
  std::vector<uint8_t> page;      // the decoded page being filled
  bool open = false;
};

struct UdbStreamWriter::Table {
  uint16_t index = 0;
  std::vector<FieldSpec> fields;
  std::vector<uint16_t> offsets;
  uint16_t record_size = 0;
  uint32_t page_size = 0;
  uint32_t per_page = 0;
  uint8_t key_fields = 0;
  bool keep_order = false;
  uint32_t version = 0;
  PageIndexMode index_mode = PageIndexMode::Auto;
  uint32_t primary = 0;
  uint32_t journal = 0;
  uint32_t back = 0;
  Chain data;
  Chain blob;
  uint32_t record_count = 0;
  uint32_t blob_end = 0;
  uint32_t page_index = 0;
  std::optional<Row> last_row;
  Head head{};
};

UdbStreamWriter::UdbStreamWriter(const std::string& path, const UdbDescription& catalogue)
    : codec_(catalogue) {
  Require(catalogue.format_version <= 3, "format version above 3");
  Require(catalogue.tables.size() <= 255, "more than 255 tables");
  uint32_t base = kHeadArray + kHeadSize * static_cast<uint32_t>(catalogue.tables.size());
  for (const TableSpec& described : catalogue.tables) {
    auto table = std::make_unique<Table>();
    table->index = static_cast<uint16_t>(tables_.size());
    Require(described.name.size() <= 24, "table name longer than 24: " + described.name);
    Require(described.page_size % 512 == 0, "page size not a multiple of 512: " + described.name);
    Require(described.fields.size() <= 255, "more than 255 fields: " + described.name);
    Require(described.key_field_count <= described.fields.size(), "more key fields than fields");
    table->fields = described.fields;
    uint32_t record_size = 0;
    for (const FieldSpec& field : described.fields) {
      Require(field.name.size() <= (catalogue.format_version < 3 ? 32u : 255u),
              "field name too long: " + field.name);
      table->offsets.push_back(static_cast<uint16_t>(record_size));
      record_size += DeclaredSize(field);
      Require(record_size <= 0xFFFF, "record size above 65535: " + described.name);
    }
    table->record_size = static_cast<uint16_t>(record_size);
    table->page_size = EffectivePageSize(described.page_size);
    table->per_page = record_size == 0 ? 0 : (table->page_size - kPageHeader) / record_size;
    table->key_fields = described.key_field_count;
    table->keep_order = described.keep_row_order;
    table->version = described.version;
    table->index_mode = described.page_index;
    table->primary = kHeadArray + kHeadSize * table->index;
    table->journal = base;
    table->back = base + table->page_size;
    base = table->back + kHeadSize;
    tables_.push_back(std::move(table));
  }
  if (!file_.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWrite,
                  platform::FileCreation::CreateAlways)) {
    throw std::runtime_error("cannot create " + path + ": " +
                             platform::ErrorMessage(file_.LastError()));
  }
  file_end_ = base;
  WriteHeader(catalogue);
  // The lock area, the heads and the journal slots start out zero.
  const std::vector<uint8_t> zeros(base - kHeaderSize, 0);
  WriteAt(kHeaderSize, zeros.data(), zeros.size());
}

UdbStreamWriter::~UdbStreamWriter() = default;

void UdbStreamWriter::WriteHeader(const UdbDescription& catalogue) {
  std::vector<uint8_t> header(kHeaderSize, 0);
  Put32(&header[0], kMagic);
  Put16(&header[4], codec_.Version());
  Put16(&header[8], catalogue.format_version);
  header[10] = static_cast<uint8_t>(catalogue.tables.size());
  size_t descriptors = 11 + kDirectoryEntry * catalogue.tables.size();
  for (const TableSpec& described : catalogue.tables) {
    descriptors += described.fields.size() * 4;
    for (const FieldSpec& field : described.fields) {
      descriptors += catalogue.format_version < 3 ? 32 : field.name.size();
    }
  }
  Require(descriptors <= kHeaderSize, "the catalogue does not fit in the file header");
  uint8_t* entry = &header[11];
  uint8_t* descriptor = entry + kDirectoryEntry * catalogue.tables.size();
  for (const TableSpec& described : catalogue.tables) {
    PutName(entry, described.name);
    entry[25] = described.key_field_count;
    Put16(entry + 26, described.page_size);
    entry[28] = static_cast<uint8_t>(described.fields.size());
    entry += kDirectoryEntry;
    for (const FieldSpec& field : described.fields) {
      uint8_t* after_name = PutName(descriptor, field.name);
      if (catalogue.format_version < 3) after_name = descriptor + 33;
      after_name[0] = static_cast<uint8_t>(field.type);
      Put16(after_name + 1, DeclaredSize(field));
      descriptor = after_name + 3;
    }
  }
  codec_.EncodeHeader(header);
  WriteAt(0, header.data(), header.size());
}

void UdbStreamWriter::AddRow(size_t table_index, const Row& row) {
  Table& table = *tables_.at(table_index);
  if (!table.keep_order && table.key_fields > 0) {
    if (table.last_row && CompareKeys(table.fields, table.key_fields, *table.last_row, row) > 0) {
      throw std::invalid_argument("rows out of key order");
    }
    table.last_row = row;
  }
  const std::vector<uint8_t> image = EncodeRow(table_index, row);
  AddRecordImage(table_index, image.data());
}

std::vector<uint8_t> UdbStreamWriter::EncodeRow(size_t table_index, const Row& row) {
  Table& table = *tables_.at(table_index);
  Require(row.size() == table.fields.size(), "row with a wrong number of values");
  std::vector<uint8_t> image(table.record_size, 0);
  for (size_t i = 0; i < row.size(); ++i) {
    const FieldSpec& field = table.fields[i];
    if (field.type != UdbType::Blob) {
      StoreValue(field, row[i], &image[table.offsets[i]]);
      continue;
    }
    BlobValue holder;
    const BlobValue* blob = AsBlob(row[i], holder);
    Require(blob != nullptr, "field " + field.name + ": needs a BLOB");
    WriteBlob(table, *blob, &image[table.offsets[i]]);
  }
  return image;
}

void UdbStreamWriter::AddRecordImage(size_t table_index, const uint8_t* image) {
  Table& table = *tables_.at(table_index);
  Require(table.per_page > 0, "records do not fit in a page");
  const uint32_t slot = table.record_count % table.per_page;
  if (slot == 0) StartPage(table, table.data);
  std::memcpy(&table.data.page[kPageHeader + slot * table.record_size], image, table.record_size);
  ++table.record_count;
}

void UdbStreamWriter::WriteBlob(Table& table, const BlobValue& blob, uint8_t* reference) {
  const uint32_t start = blob.raw_start.value_or(table.blob_end);
  Require(start >= table.blob_end, "BLOB placed before the end of the BLOBs before it");
  Require(blob.bytes.size() < kFileLimit, "BLOB too large");
  Put32(reference, static_cast<uint32_t>(blob.bytes.size()));
  Put32(reference + 4, start);
  if (blob.bytes.empty()) return;
  uint64_t position = start;
  size_t done = 0;
  while (done < blob.bytes.size()) {
    uint64_t in_page = position % table.page_size;
    if (in_page < kPageHeader) {
      position += kPageHeader - in_page;
      in_page = kPageHeader;
    }
    const uint64_t page = position / table.page_size;
    Require(page * table.page_size < kFileLimit, "BLOB space too large");
    while (table.blob.offsets.size() <= page) StartPage(table, table.blob);
    const size_t chunk = std::min<size_t>(blob.bytes.size() - done, table.page_size - in_page);
    std::memcpy(&table.blob.page[in_page], blob.bytes.data() + done, chunk);
    done += chunk;
    position += chunk;
  }
  table.blob_end = static_cast<uint32_t>(position);
}

uint32_t UdbStreamWriter::Allocate(uint32_t length) {
  if (file_end_ + length >= kFileLimit) throw std::runtime_error("the file would reach 2 GB");
  const uint32_t offset = static_cast<uint32_t>(file_end_);
  file_end_ += length;
  return offset;
}

void UdbStreamWriter::StartPage(Table& table, Chain& chain) {
  const uint32_t offset = Allocate(table.page_size);
  if (chain.open) WritePage(chain, offset);
  chain.offsets.push_back(offset);
  chain.page.assign(table.page_size, 0);
  chain.open = true;
}

void UdbStreamWriter::CloseChain(Chain& chain) {
  if (chain.open) WritePage(chain, kNoPage);
  chain.open = false;
}

void UdbStreamWriter::WritePage(Chain& chain, uint32_t next) {
  Put32(&chain.page[2], next);
  WriteBlock(chain.offsets.back(), chain.page);
}

void UdbStreamWriter::WritePageIndex(Table& table) {
  const size_t pages = table.data.offsets.size();
  const bool wanted = table.index_mode == PageIndexMode::Always
                          ? pages > 0
                          : table.index_mode == PageIndexMode::Auto && pages > 8;
  if (!wanted) return;
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(pages, kPageIndexEntries));
  std::vector<uint8_t> block(kPageIndexSize, 0);
  Put16(&block[2], table.index);
  Put32(&block[4], count);
  for (uint32_t i = 0; i < count; ++i) Put32(&block[8 + 4 * i], table.data.offsets[i]);
  table.page_index = Allocate(kPageIndexSize);
  WriteBlock(table.page_index, std::move(block));
}

void UdbStreamWriter::BuildHead(const Table& table, Head& head) const {
  head.fill(0);
  Put32(&head[2], static_cast<uint32_t>(table.data.offsets.size()));
  Put32(&head[6], static_cast<uint32_t>(table.blob.offsets.size()));
  Put32(&head[10], table.data.offsets.empty() ? 0 : table.data.offsets.front());
  Put32(&head[14], table.blob.offsets.empty() ? 0 : table.blob.offsets.front());
  Put32(&head[18], table.record_count);
  Put32(&head[22], table.blob_end);
  Put32(&head[26], table.version);
  Put32(&head[30], table.page_index);
}

UdbFileLayout UdbStreamWriter::Finish() {
  Require(!finished_, "file already finished");
  UdbFileLayout layout;
  for (auto& owned : tables_) {
    Table& table = *owned;
    CloseChain(table.data);
    CloseChain(table.blob);
    WritePageIndex(table);
    BuildHead(table, table.head);
    WriteHeads(table.index);
    TableLayout& out = layout.tables.emplace_back();
    out.page_size = table.page_size;
    out.record_size = table.record_size;
    out.records_per_page = table.per_page;
    out.field_offsets = table.offsets;
    out.primary_head = table.primary;
    out.journal_slot = table.journal;
    out.back_head = table.back;
    out.page_index = table.page_index;
    out.data_pages = table.data.offsets;
    out.blob_pages = table.blob.offsets;
    out.record_count = table.record_count;
    out.blob_end = table.blob_end;
    out.version = table.version;
    out.expected.record_count = out.expected.record_count_after_cut = table.record_count;
    out.expected.version = table.version;
    out.expected.blob_end = out.expected.blob_end_after_cut = table.blob_end;
    out.expected.data_pages_after_cut = static_cast<uint32_t>(table.data.offsets.size());
    out.expected.blob_pages_after_cut = static_cast<uint32_t>(table.blob.offsets.size());
  }
  if (!file_.Flush()) throw std::runtime_error("cannot flush " + file_.Path());
  finished_ = true;
  layout.file_size = file_end_;
  return layout;
}

Head& UdbStreamWriter::HeadOf(size_t table) {
  return tables_.at(table)->head;
}

void UdbStreamWriter::WriteHeads(size_t table_index) {
  const Table& table = *tables_.at(table_index);
  const std::vector<uint8_t> head(table.head.begin(), table.head.end());
  WriteBlock(table.primary, head);
  WriteBlock(table.back, head);
}

void UdbStreamWriter::SetChecksum(std::vector<uint8_t>& decoded) const {
  codec_.SetChecksum(decoded);
}

void UdbStreamWriter::WriteBlock(uint32_t offset, std::vector<uint8_t> decoded) {
  codec_.Encode(decoded);
  WriteAt(offset, decoded.data(), decoded.size());
}

void UdbStreamWriter::WriteCorruptBlock(uint32_t offset, uint32_t length) {
  const std::vector<uint8_t> garbage = codec_.Garbage(length);
  WriteAt(offset, garbage.data(), garbage.size());
}

DecodedBlock UdbStreamWriter::ReadBlock(uint32_t offset, uint32_t length) {
  DecodedBlock block;
  block.bytes.resize(length);
  if (file_.ReadAt(offset, block.bytes.data(), length) != static_cast<int64_t>(length)) {
    throw std::runtime_error("cannot read back " + file_.Path());
  }
  codec_.Decode(block.bytes, block.checksum_ok);
  return block;
}

uint64_t UdbStreamWriter::FileSize() {
  return file_end_;
}

void UdbStreamWriter::WriteAt(uint64_t offset, const uint8_t* bytes, size_t length) {
  if (file_.WriteAt(offset, bytes, length) != static_cast<int64_t>(length)) {
    throw std::runtime_error("cannot write " + file_.Path() + ": " +
                             platform::ErrorMessage(file_.LastError()));
  }
}

}  // namespace tabshift::udbgen

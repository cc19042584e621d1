// Writes a described file set, then puts each table into the damaged or interrupted state asked
// for and works out what a reader's repair and recovery should leave behind.
#include "UdbWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "UdbStreamWriter.h"

namespace tabshift::udbgen {
namespace {

// Head offsets of the pending-operation fields.
constexpr size_t kPendingFlags = 46;
constexpr size_t kPendingChain = 47;
constexpr size_t kPendingPage = 48;
constexpr size_t kRemovalFirst = 52;
constexpr size_t kRemovalCount = 56;
constexpr size_t kPendingTarget = 60;

constexpr uint16_t kEventHeadRepaired = 18;
constexpr uint16_t kEventRecovery = 19;
constexpr uint16_t kEventChainCut = 20;
constexpr uint16_t kEventJournalCorrupted = 21;

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Require(bool condition, const std::string& what) {
  if (!condition) throw std::invalid_argument(what);
}

// What meeting corrupted page `page` of a chain does to the table: the chain is cut there, or
// linked around it when the page after it is already known (a data page listed by the page
// index block). Every other page is intact, so the page before it survives.
void ExpectCut(const TableLayout& table, uint8_t chain, uint32_t page, ExpectedRepair& out) {
  if (chain == 1) {
    out.blob_pages_after_cut = page;
    out.blob_end_after_cut = std::min<uint64_t>(out.blob_end, uint64_t{page} * table.page_size);
    return;
  }
  const uint64_t count = out.record_count;
  const uint64_t per_page = table.records_per_page;
  const uint64_t first = page * per_page;
  const uint32_t indexed =
      table.page_index == 0 ? 0 : std::min<uint32_t>(table.data_pages.size(), kPageIndexEntries);
  const bool next_known = page + 1 < indexed;
  out.data_pages_after_cut = next_known ? out.data_pages_after_cut - 1 : page;
  if (first < count) {
    out.lost_first = static_cast<uint32_t>(first);
    out.lost_count =
        static_cast<uint32_t>(next_known ? std::min(per_page, count - first) : count - first);
  }
  out.record_count_after_cut = out.record_count - out.lost_count;
}

void PrepareCutFields(ExpectedRepair& out) {
  out.record_count_after_cut = out.record_count;
  out.blob_end_after_cut = out.blob_end;
}

// Writes the table's rows as an interrupted removal leaves them: pages up to the cursor already
// hold the rows after the removal, the later ones still the rows before it.
void WriteInterruptedRemoval(UdbStreamWriter& writer, size_t table, const TableSpec& described,
                             const std::vector<Row>& rows) {
  const PendingRemoval& removal = *described.damage.pending_removal;
  const uint64_t count = rows.size();
  Require(removal.count > 0 && uint64_t{removal.first} + removal.count <= count,
          "removal outside the rows: " + described.name);
  std::vector<std::vector<uint8_t>> images;
  for (const Row& row : rows) images.push_back(writer.EncodeRow(table, row));
  uint32_t record_size = 0;
  for (const FieldSpec& field : described.fields) record_size += DeclaredSize(field);
  const int64_t per_page =
      record_size == 0 ? 0 : (EffectivePageSize(described.page_size) - kPageHeader) / record_size;
  Require(per_page > 0, "records do not fit in a page: " + described.name);
  const int64_t cursor = removal.first / per_page - 1 + removal.rebuilt_pages;
  const int64_t remaining = static_cast<int64_t>(count) - removal.count;
  const int64_t last_needed = remaining > 0 ? (remaining - 1) / per_page : -1;
  Require(removal.rebuilt_pages == 0 || cursor <= last_needed,
          "more pages rebuilt than the removal needs: " + described.name);
  for (int64_t i = 0; i < static_cast<int64_t>(count); ++i) {
    const bool rebuilt = i / per_page <= cursor && i < remaining;
    const int64_t source = rebuilt && i >= removal.first ? i + removal.count : i;
    writer.AddRecordImage(table, images[source].data());
  }
}

void InterruptRemoval(UdbStreamWriter& writer, size_t table, const PendingRemoval& removal,
                      TableLayout& layout) {
  const int64_t cursor =
      static_cast<int64_t>(removal.first / layout.records_per_page) - 1 + removal.rebuilt_pages;
  Head& head = writer.HeadOf(table);
  head[kPendingFlags] = removal.cursor_ahead ? 4 : 2;
  Put32(&head[kPendingPage], static_cast<uint32_t>(cursor + (removal.cursor_ahead ? 1 : 0)));
  Put32(&head[kRemovalFirst], removal.first);
  Put32(&head[kRemovalCount], removal.count);
  if (cursor >= 0) {
    // The last rebuilt page went through the journal slot on its way.
    const uint32_t page = layout.data_pages[cursor];
    Put32(&head[kPendingTarget], page);
    writer.WriteBlock(layout.journal_slot, writer.ReadBlock(page, layout.page_size).bytes);
  }
  writer.WriteHeads(table);
  ExpectedRepair& expected = layout.expected;
  expected.open_events.push_back(kEventRecovery);
  expected.record_count = layout.record_count - removal.count;
  if (expected.record_count == 0) expected.blob_end = 0;
  expected.version += 1;
  PrepareCutFields(expected);
}

void InterruptPageWrite(UdbStreamWriter& writer, size_t table, const PendingPageWrite& write,
                        TableLayout& layout) {
  const std::vector<uint32_t>& pages = write.chain == 0 ? layout.data_pages : layout.blob_pages;
  Require(write.chain <= 1 && write.page < pages.size(), "pending write of a missing page");
  const uint32_t offset = pages[write.page];
  const std::vector<uint8_t> page = writer.ReadBlock(offset, layout.page_size).bytes;
  if (write.journal_intact) {
    writer.WriteBlock(layout.journal_slot, page);
  } else {
    writer.WriteCorruptBlock(layout.journal_slot, layout.page_size);
  }
  if (write.target == PendingTarget::Torn) {
    writer.WriteCorruptBlock(offset, layout.page_size);
  } else {
    std::vector<uint8_t> stale(layout.page_size, 0);
    std::memcpy(stale.data(), page.data(), kPageHeader);
    writer.WriteBlock(offset, stale);
  }
  Head& head = writer.HeadOf(table);
  head[kPendingFlags] = 1;
  head[kPendingChain] = write.chain;
  Put32(&head[kPendingPage], write.page);
  Put32(&head[kPendingTarget], offset);
  writer.WriteHeads(table);
  ExpectedRepair& expected = layout.expected;
  expected.open_events.push_back(kEventRecovery);
  if (write.journal_intact) {
    expected.version += 1;
    return;
  }
  expected.open_events.push_back(kEventJournalCorrupted);
  if (write.target == PendingTarget::Torn) {
    ExpectCut(layout, write.chain, write.page, expected);
    expected.open_events.push_back(kEventChainCut);
    expected.version += 1;
    expected.record_count = expected.record_count_after_cut;
    expected.blob_end = expected.blob_end_after_cut;
  }
}

void DamageHeads(UdbStreamWriter& writer, const TableDamage& damage, TableLayout& layout) {
  if (!damage.primary_head && !damage.back_head) return;
  if (damage.primary_head) writer.WriteCorruptBlock(layout.primary_head, kHeadSize);
  if (damage.back_head) writer.WriteCorruptBlock(layout.back_head, kHeadSize);
  ExpectedRepair& expected = layout.expected;
  expected.open_events.insert(expected.open_events.begin(), kEventHeadRepaired);
  if (damage.primary_head && damage.back_head) {
    // Both copies lost: the head is reset to an empty table and nothing else is recovered.
    expected = ExpectedRepair{};
    expected.open_events = {kEventHeadRepaired};
    expected.head_detail = 3;
    return;
  }
  expected.head_detail = damage.primary_head ? 1 : 2;
}

// The reader's head as the open check changes it, starting from the head the writer stored.
class HeadModel {
 public:
  explicit HeadModel(const Head& head) : head_(head) {}

  uint32_t Get(size_t at) const { return Get32(&head_[at]); }
  void Set(size_t at, uint32_t value) { Put32(&head_[at], value); }
  uint8_t& Flags() { return head_[kPendingFlags]; }
  void Reset() { head_.fill(0); }

  void Event(uint16_t code) {
    head_[80] = static_cast<uint8_t>(std::min(head_[80] + 1, 21));
    head_[81] = static_cast<uint8_t>(head_[81] + 1 == 21 ? 0 : head_[81] + 1);
    uint8_t* entry = &head_[82 + 20 * head_[81]];
    entry[0] = static_cast<uint8_t>(code);
    entry[1] = static_cast<uint8_t>(code >> 8);
    std::memcpy(entry + 2, &head_[kPendingFlags], 18);
  }

  std::vector<uint8_t> Bytes() const { return {head_.begin(), head_.end()}; }

 private:
  static uint32_t Get32(const uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
  }
  Head head_;
};

// Completing a removal rewrites the pages from the cursor to the one that holds the last
// remaining record through the journal slot, then settles the head.
void PredictRemoval(HeadModel& head, const PendingRemoval& removal, const TableLayout& layout) {
  head.Event(kEventRecovery);
  if (removal.cursor_ahead) {
    head.Set(kPendingPage, head.Get(kPendingPage) - 1);
    head.Flags() = static_cast<uint8_t>((head.Flags() & ~4) | 2);
  }
  const int64_t cursor = static_cast<int32_t>(head.Get(kPendingPage));
  const int64_t remaining = int64_t{layout.record_count} - removal.count;
  const int64_t last_needed = remaining > 0 ? (remaining - 1) / layout.records_per_page : -1;
  if (cursor < last_needed) {
    head.Set(kPendingPage, static_cast<uint32_t>(last_needed));
    head.Set(kPendingTarget, layout.data_pages[last_needed]);
  }
  head.Flags() &= static_cast<uint8_t>(~3);
  head.Set(18, static_cast<uint32_t>(remaining));
  if (remaining == 0) head.Set(22, 0);
  head.Set(26, head.Get(26) + 1);
}

// A new page index block is stored by the reader whenever a head is written while it knows
// more than 8 data pages and the table has none; then the head is not predicted.
bool RemovalHeadPredictable(const TableLayout& layout) {
  return layout.data_pages.size() <= 8 ||
         (layout.page_index != 0 && layout.data_pages.size() <= kPageIndexEntries);
}

std::vector<uint8_t> PredictHead(const Head& stored, const TableDamage& damage,
                                 const TableLayout& layout) {
  HeadModel head(stored);
  if (damage.primary_head && damage.back_head) {
    head.Reset();
    head.Set(kRemovalCount, 3);
    head.Event(kEventHeadRepaired);
    return head.Bytes();
  }
  if (damage.primary_head || damage.back_head) {
    head.Set(kRemovalCount, damage.primary_head ? 1 : 2);
    head.Event(kEventHeadRepaired);
  }
  if (const auto& write = damage.pending_write) {
    head.Event(kEventRecovery);
    if (write->journal_intact) {
      head.Set(26, head.Get(26) + 1);
    } else {
      head.Event(kEventJournalCorrupted);
      if (write->target == PendingTarget::Torn) return {};
    }
    head.Flags() &= static_cast<uint8_t>(~1);
  }
  if (const auto& removal = damage.pending_removal) {
    if (!RemovalHeadPredictable(layout)) return {};
    PredictRemoval(head, *removal, layout);
  }
  return head.Bytes();
}

void ApplyDamage(UdbStreamWriter& writer, size_t table, const TableDamage& damage,
                 TableLayout& layout) {
  if (damage.pending_removal) InterruptRemoval(writer, table, *damage.pending_removal, layout);
  if (damage.pending_write) InterruptPageWrite(writer, table, *damage.pending_write, layout);
  if (damage.data_page) {
    Require(*damage.data_page < layout.data_pages.size(), "damage of a missing data page");
    writer.WriteCorruptBlock(layout.data_pages[*damage.data_page], layout.page_size);
    ExpectCut(layout, 0, *damage.data_page, layout.expected);
  }
  if (damage.blob_page) {
    Require(*damage.blob_page < layout.blob_pages.size(), "damage of a missing BLOB page");
    writer.WriteCorruptBlock(layout.blob_pages[*damage.blob_page], layout.page_size);
    ExpectCut(layout, 1, *damage.blob_page, layout.expected);
  }
  DamageHeads(writer, damage, layout);
  std::vector<uint8_t> head = PredictHead(writer.HeadOf(table), damage, layout);
  if (!head.empty()) writer.SetChecksum(head);
  layout.expected.head_after_open = std::move(head);
}

void CheckDamage(const TableSpec& described) {
  const TableDamage& damage = described.damage;
  const int corruptions = (damage.data_page ? 1 : 0) + (damage.blob_page ? 1 : 0) +
                          (damage.pending_write ? 1 : 0) + (damage.pending_removal ? 1 : 0);
  Require(corruptions <= 1, "one page damage or pending operation per table: " + described.name);
  // A repaired head stores its detail where a pending removal keeps its record count.
  Require(!(damage.pending_removal && (damage.primary_head || damage.back_head)),
          "a pending removal cannot be combined with a damaged head: " + described.name);
}

}  // namespace

FieldSpec Field(std::string name, UdbType type) {
  return FieldSpec{std::move(name), type, 0};
}

FieldSpec TextField(std::string name, uint16_t max_length) {
  return FieldSpec{std::move(name), UdbType::Text, static_cast<uint16_t>(max_length + 1)};
}

FieldSpec BytesField(std::string name, uint16_t size) {
  return FieldSpec{std::move(name), UdbType::Bytes, size};
}

std::vector<Row> StoredRows(const TableSpec& table) {
  std::vector<Row> rows = table.rows;
  if (!table.keep_row_order && table.key_field_count > 0) {
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& left, const Row& right) {
      return CompareKeys(table.fields, table.key_field_count, left, right) < 0;
    });
  }
  return rows;
}

UdbFileLayout WriteUdbFile(const std::string& path, const UdbDescription& description) {
  for (const TableSpec& described : description.tables) CheckDamage(described);
  UdbStreamWriter writer(path, description);
  std::vector<std::vector<Row>> stored;
  for (size_t t = 0; t < description.tables.size(); ++t) {
    const TableSpec& described = description.tables[t];
    stored.push_back(StoredRows(described));
    if (described.damage.pending_removal) {
      WriteInterruptedRemoval(writer, t, described, stored.back());
      continue;
    }
    for (const Row& row : stored.back()) {
      const std::vector<uint8_t> image = writer.EncodeRow(t, row);
      writer.AddRecordImage(t, image.data());
    }
  }
  UdbFileLayout layout = writer.Finish();
  for (size_t t = 0; t < description.tables.size(); ++t) {
    layout.tables[t].stored_rows = std::move(stored[t]);
    ApplyDamage(writer, t, description.tables[t].damage, layout.tables[t]);
  }
  layout.file_size = writer.FileSize();
  return layout;
}

}  // namespace tabshift::udbgen

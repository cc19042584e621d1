#include <gtest/gtest.h>

#include "UdbFixture.h"
#include "support/TempDirectory.h"

namespace tabshift::udb::testing {
namespace {

using low::Get32;
using tabshift::testing::TempDirectory;

constexpr uint32_t kRows = 300;  // 100-byte records, 40 to a 4096-byte page: 8 data pages

UdbDescription Description(TableDamage damage, PageIndexMode index) {
  UdbDescription description;
  description.password = "damage";
  description.tables.push_back(
      TableSpec{.name = "FIRST", .fields = {Field("A", UdbType::Int32)}, .rows = {{int64_t{1}}}});
  TableSpec& damaged = description.tables.emplace_back();
  damaged.name = "T";
  damaged.key_field_count = 1;
  damaged.fields = {Field("ID", UdbType::Int32), Field("DOC", UdbType::Blob),
                    BytesField("PAD", 88)};
  damaged.version = 40;
  damaged.page_index = index;
  damaged.damage = damage;
  for (uint32_t i = 0; i < kRows; ++i) {
    damaged.rows.push_back({int64_t{i}, std::string(500, static_cast<char>('a' + i % 26)),
                            std::string(88, static_cast<char>(i))});
  }
  return description;
}

// The newest `count` journal events of a decoded head, oldest first.
std::vector<uint16_t> NewestEvents(const uint8_t* head, size_t count) {
  std::vector<uint16_t> events;
  int index = head[81];
  for (size_t i = 0; i < count; ++i) {
    events.insert(events.begin(), low::Get16(head + 82 + 20 * index));
    index = index == 0 ? 20 : index - 1;
  }
  return events;
}

std::vector<Row> Without(std::vector<Row> rows, uint32_t first, uint32_t count) {
  rows.erase(rows.begin() + first, rows.begin() + first + count);
  return rows;
}

struct Case {
  const char* name;
  TableDamage damage;
  PageIndexMode index = PageIndexMode::Always;
};

class UdbRepairTest : public ::testing::TestWithParam<Case> {};

TEST_P(UdbRepairTest, OpenRepairsAsPredictedAndASecondOpenReadsCleanly) {
  TempDirectory directory;
  const std::string path = directory.File("damaged.udb");
  const UdbDescription description = Description(GetParam().damage, GetParam().index);
  const UdbFileLayout layout = WriteUdbFile(path, description);
  const TableLayout& written = layout.tables[1];
  const ExpectedRepair& expected = written.expected;
  const TableSpec& described = description.tables[1];
  {
    OpenSet set(path, "damage");
    TUdbTableEngine& table = set.file.Engine().Table(1);
    ASSERT_TRUE(table.HeadLoaded());
    const uint8_t* head = table.Head();
    EXPECT_EQ(NewestEvents(head, expected.open_events.size()), expected.open_events);
    EXPECT_EQ(Get32(head + low::head::kRecordCount), expected.record_count);
    EXPECT_EQ(Get32(head + low::head::kVersion), expected.version);
    EXPECT_EQ(Get32(head + low::head::kBlobEnd), expected.blob_end);
    if (expected.head_detail) {
      EXPECT_EQ(Get32(head + 56), *expected.head_detail);
    }
    if (!expected.head_after_open.empty()) {
      EXPECT_EQ(std::vector<uint8_t>(head + 2, head + 512),
                std::vector<uint8_t>(expected.head_after_open.begin() + 2,
                                     expected.head_after_open.end()));
    }
    for (const uint32_t copy : {written.primary_head, written.back_head}) {
      const DecodedBlock block = ReadUdbBlock(path, description, copy, 512);
      EXPECT_TRUE(block.checksum_ok);
      EXPECT_EQ(std::vector<uint8_t>(block.bytes.begin() + 2, block.bytes.end()),
                std::vector<uint8_t>(head + 2, head + 512));
    }
  }
  std::vector<Row> rows = StoredRows(described);
  if (described.damage.pending_removal) {
    rows = Without(rows, described.damage.pending_removal->first,
                   described.damage.pending_removal->count);
  }
  const auto& pending = described.damage.pending_write;
  if (pending && !pending->journal_intact && pending->target == PendingTarget::Stale) {
    // The new page is lost with its journal copy: the stale page reads as zero-filled records.
    const uint32_t first = pending->page * written.records_per_page;
    for (uint32_t i = first; i < first + written.records_per_page; ++i) {
      rows[i] = Row{int64_t{0}, BlobValue{}, std::string(88, '\0')};
    }
  }
  const bool cut_later = (described.damage.data_page || described.damage.blob_page) &&
                         expected.record_count == static_cast<uint32_t>(rows.size()) &&
                         expected.lost_count + (described.damage.blob_page ? 1 : 0) > 0;
  if (cut_later) {
    OpenSet set(path, "damage");
    auto table = set.Table("T");
    int32_t code = 0;
    try {
      while (table->FetchNext()) {
        for (int f = 0; f < table->FieldCount(); ++f) {
          TMemoryStream stream;
          if (f == 1) table->Fields(f).ReadBlob(stream);
          table->Fields(f).AsString();
        }
      }
    } catch (const EUdbError& error) {
      code = error.Code();
    }
    EXPECT_EQ(code, 20);
    const uint8_t* head = set.file.Engine().Table(1).Head();
    EXPECT_EQ(NewestEvents(head, 1), std::vector<uint16_t>{20});
    EXPECT_EQ(Get32(head + low::head::kRecordCount), expected.record_count_after_cut);
    EXPECT_EQ(Get32(head + low::head::kDataPages), expected.data_pages_after_cut);
    EXPECT_EQ(Get32(head + low::head::kBlobPages), expected.blob_pages_after_cut);
    EXPECT_EQ(Get32(head + low::head::kBlobEnd), expected.blob_end_after_cut);
    EXPECT_EQ(Get32(head + low::head::kVersion), expected.version + 1);
    if (described.damage.blob_page) return;
    rows = Without(rows, expected.lost_first, expected.lost_count);
  } else if (expected.lost_count > 0) {
    rows = Without(rows, expected.lost_first, expected.lost_count);
  }
  OpenSet again(path, "damage");
  auto table = again.Table("T");
  ExpectRows(*table, described.fields, rows);
}

INSTANTIATE_TEST_SUITE_P(
    States, UdbRepairTest,
    ::testing::Values(
        Case{"PrimaryHead", TableDamage{.primary_head = true}},
        Case{"BackHead", TableDamage{.back_head = true}},
        Case{"DataPageLinkedAround", TableDamage{.data_page = 5}},
        Case{"DataPageCut", TableDamage{.data_page = 5}, PageIndexMode::Never},
        Case{"BlobPage", TableDamage{.blob_page = 3}},
        Case{"PendingDataWrite", TableDamage{.pending_write = PendingPageWrite{0, 2, true}}},
        Case{"PendingTornBlobWrite",
             TableDamage{.pending_write = PendingPageWrite{1, 2, true, PendingTarget::Torn}}},
        Case{"CorruptedJournalStale",
             TableDamage{.pending_write = PendingPageWrite{0, 5, false, PendingTarget::Stale}}},
        Case{"CorruptedJournalTorn",
             TableDamage{.pending_write = PendingPageWrite{0, 5, false, PendingTarget::Torn}}},
        Case{"PendingRemoval", TableDamage{.pending_removal = PendingRemoval{50, 30, 0}}},
        Case{"PendingRemovalRebuilt", TableDamage{.pending_removal = PendingRemoval{50, 70, 1}}},
        Case{"PendingRemovalAhead", TableDamage{.pending_removal = PendingRemoval{10, 5, 2, true}}},
        Case{"PendingRemovalOfAll", TableDamage{.pending_removal = PendingRemoval{0, kRows, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UdbRepairTest, BothHeadCopiesCorruptedResetTheTable) {
  TempDirectory directory;
  const std::string path = directory.File("damaged.udb");
  const UdbDescription description =
      Description(TableDamage{.primary_head = true, .back_head = true}, PageIndexMode::Always);
  WriteUdbFile(path, description);
  OpenSet set(path, "damage");
  const uint8_t* head = set.file.Engine().Table(1).Head();
  EXPECT_EQ(Get32(head + 56), 3u);
  EXPECT_EQ(NewestEvents(head, 1), std::vector<uint16_t>{18});
  auto table = set.Table("T");
  EXPECT_EQ(table->RecordCount(), 0);
}

}  // namespace
}  // namespace tabshift::udb::testing

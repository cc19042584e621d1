#include <gtest/gtest.h>

#include <stdexcept>

#include "UdbFileView.h"
#include "UdbWriter.h"
#include "support/TempDirectory.h"

namespace tabshift::udbgen {
namespace {

using testing::Get32;
using testing::UdbFileView;

constexpr uint32_t kRows = 300;  // 100-byte records, 40 to a 4096-byte page: 8 data pages

UdbDescription Description(TableDamage damage, PageIndexMode index = PageIndexMode::Always) {
  UdbDescription description;
  description.password = "damage";
  TableSpec table{.name = "FIRST", .fields = {Field("A", UdbType::Int32)}};
  table.rows = {{int64_t{1}}};
  description.tables.push_back(table);
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

struct Written {
  tabshift::testing::TempDirectory directory;
  UdbDescription description;
  UdbFileLayout clean;  // the same description without damage, written beside it
  UdbFileLayout layout;

  explicit Written(TableDamage damage, PageIndexMode index = PageIndexMode::Always)
      : description(Description(damage, index)) {
    clean = WriteUdbFile(directory.File("clean.udb"), Description({}, index));
    layout = WriteUdbFile(directory.File("damaged.udb"), description);
  }
  UdbFileView View() const { return UdbFileView(directory.File("damaged.udb"), description); }
  UdbFileView CleanView() const { return UdbFileView(directory.File("clean.udb"), description); }
  const TableLayout& Table() const { return layout.tables[1]; }
  std::string Raw(bool damaged, uint32_t offset, uint32_t length) const {
    return (damaged ? View() : CleanView()).Bytes().substr(offset, length);
  }
};

// A decoded block without its checksum, after checking that the checksum holds.
std::vector<uint8_t> Content(const UdbFileView& view, const std::vector<uint8_t>& block) {
  EXPECT_TRUE(view.ChecksumHolds(block));
  return block.size() < 2 ? block : std::vector<uint8_t>(block.begin() + 2, block.end());
}

// The journal entry `index` of a decoded head: event code and the copied bytes 46 to 63.
uint16_t EventAt(const std::vector<uint8_t>& head, int index) {
  return static_cast<uint16_t>(head[82 + 20 * index] | (head[83 + 20 * index] << 8));
}

TEST(UdbWriterDamageTest, EachDamagedHeadCopyFailsItsChecksumAndThePredictedRepairFollows) {
  struct Case {
    bool primary;
    bool back;
    uint32_t detail;
  };
  for (const Case c : {Case{true, false, 1}, Case{false, true, 2}, Case{true, true, 3}}) {
    Written file(TableDamage{.primary_head = c.primary, .back_head = c.back});
    const TableLayout& table = file.Table();
    const UdbFileView view = file.View();
    EXPECT_EQ(view.BlockIntact(table.primary_head, 512), !c.primary);
    EXPECT_EQ(view.BlockIntact(table.back_head, 512), !c.back);
    EXPECT_TRUE(view.BlockIntact(file.layout.tables[0].primary_head, 512));
    const ExpectedRepair& expected = table.expected;
    EXPECT_EQ(expected.open_events, std::vector<uint16_t>{18});
    EXPECT_EQ(expected.head_detail, c.detail);
    const std::vector<uint8_t>& head = expected.head_after_open;
    ASSERT_EQ(head.size(), 512u);
    EXPECT_EQ(Get32(&head[56]), c.detail);
    EXPECT_EQ(head[80], 1);  // one entry in use, the newest at index 1
    EXPECT_EQ(head[81], 1);
    EXPECT_EQ(EventAt(head, 1), 18);
    EXPECT_EQ(Get32(&head[82 + 20 + 2 + 10]), c.detail);  // the copy of offset 56
    if (c.detail == 3) {
      EXPECT_EQ(expected.record_count, 0u);
      EXPECT_EQ(Get32(&head[18]), 0u);
      EXPECT_EQ(Get32(&head[26]), 0u);
      continue;
    }
    // The repaired head is the intact copy with the detail and the journal entry.
    std::vector<uint8_t> intact = view.Block(c.primary ? table.back_head : table.primary_head, 512);
    std::copy(head.begin() + 56, head.begin() + 60, intact.begin() + 56);
    std::copy(head.begin() + 80, head.end(), intact.begin() + 80);
    EXPECT_EQ(Content(view, head), std::vector<uint8_t>(intact.begin() + 2, intact.end()));
    EXPECT_EQ(expected.record_count, kRows);
    EXPECT_EQ(expected.version, 40u);
  }
}

TEST(UdbWriterDamageTest, ACorruptedDataPageIsLinkedAroundWithAPageIndexAndCutWithout) {
  struct Case {
    PageIndexMode index;
    uint32_t lost_count;
    uint32_t pages_after;
  };
  for (const Case c : {Case{PageIndexMode::Always, 40, 7}, Case{PageIndexMode::Never, 100, 5}}) {
    Written file(TableDamage{.data_page = 5}, c.index);
    const TableLayout& table = file.Table();
    ASSERT_EQ(table.data_pages.size(), 8u);
    const UdbFileView view = file.View();
    for (uint32_t page = 0; page < 8; ++page) {
      EXPECT_EQ(view.BlockIntact(table.data_pages[page], 4096), page != 5) << page;
    }
    const ExpectedRepair& expected = table.expected;
    EXPECT_TRUE(expected.open_events.empty());
    EXPECT_EQ(expected.lost_first, 200u);
    EXPECT_EQ(expected.lost_count, c.lost_count);
    EXPECT_EQ(expected.record_count_after_cut, kRows - c.lost_count);
    EXPECT_EQ(expected.data_pages_after_cut, c.pages_after);
    // Opening alone changes nothing.
    EXPECT_EQ(expected.head_after_open, view.Block(table.primary_head, 512));
    EXPECT_EQ(expected.record_count, kRows);
  }
}

TEST(UdbWriterDamageTest, ACorruptedBlobPageEndsTheBlobSpaceThere) {
  Written file(TableDamage{.blob_page = 3});
  const TableLayout& table = file.Table();
  EXPECT_FALSE(file.View().BlockIntact(table.blob_pages[3], 4096));
  EXPECT_TRUE(file.View().BlockIntact(table.blob_pages[2], 4096));
  EXPECT_EQ(table.expected.blob_pages_after_cut, 3u);
  EXPECT_EQ(table.expected.blob_end_after_cut, 3u * 4096);
  EXPECT_EQ(table.expected.record_count_after_cut, kRows);
  EXPECT_GT(table.blob_end, 3u * 4096);
}

TEST(UdbWriterDamageTest, APendingPageWriteKeepsTheNewPageInTheJournalSlot) {
  for (const uint8_t chain : {0, 1}) {
    for (const PendingTarget target : {PendingTarget::Stale, PendingTarget::Torn}) {
      Written file(TableDamage{.pending_write = PendingPageWrite{chain, 2, true, target}});
      const TableLayout& table = file.Table();
      const uint32_t page = (chain == 0 ? table.data_pages : table.blob_pages)[2];
      // The journal slot holds exactly the bytes the page has in the undamaged file.
      EXPECT_EQ(file.Raw(true, table.journal_slot, 4096), file.Raw(false, page, 4096));
      const UdbFileView view = file.View();
      if (target == PendingTarget::Stale) {
        const std::vector<uint8_t> stale = view.Block(page, 4096);
        EXPECT_EQ(Get32(&stale[2]), Get32(&file.CleanView().Block(page, 4096)[2]));
        EXPECT_EQ(std::count(stale.begin() + 6, stale.end(), 0), 4096 - 6);
      } else {
        EXPECT_FALSE(view.BlockIntact(page, 4096));
      }
      const std::vector<uint8_t> head = view.Block(table.primary_head, 512);
      EXPECT_EQ(head[46], 1);
      EXPECT_EQ(head[47], chain);
      EXPECT_EQ(Get32(&head[48]), 2u);
      EXPECT_EQ(Get32(&head[60]), page);
      EXPECT_EQ(head, view.Block(table.back_head, 512));
      const ExpectedRepair& expected = table.expected;
      EXPECT_EQ(expected.open_events, std::vector<uint16_t>{19});
      EXPECT_EQ(expected.version, 41u);
      std::vector<uint8_t> after = head;
      after[46] = 0;
      after[26] = 41;
      after[80] = 1;
      after[81] = 1;
      after[102] = 19;
      std::copy(head.begin() + 46, head.begin() + 64, after.begin() + 104);
      EXPECT_EQ(Content(view, expected.head_after_open),
                std::vector<uint8_t>(after.begin() + 2, after.end()));
    }
  }
}

TEST(UdbWriterDamageTest, APendingPageWriteWithACorruptedJournalSlot) {
  Written stale(TableDamage{.pending_write = PendingPageWrite{0, 5, false, PendingTarget::Stale}});
  EXPECT_FALSE(stale.View().BlockIntact(stale.Table().journal_slot, 4096));
  EXPECT_EQ(stale.Table().expected.open_events, (std::vector<uint16_t>{19, 21}));
  EXPECT_EQ(stale.Table().expected.version, 40u);
  EXPECT_EQ(stale.Table().expected.record_count, kRows);
  const std::vector<uint8_t>& head = stale.Table().expected.head_after_open;
  ASSERT_EQ(head.size(), 512u);
  EXPECT_EQ(head[46], 0);
  EXPECT_EQ(EventAt(head, 2), 21);
  EXPECT_EQ(head[82 + 40 + 2], 1);  // recorded before bit 0 is cleared

  Written torn(TableDamage{.pending_write = PendingPageWrite{0, 5, false, PendingTarget::Torn}});
  const ExpectedRepair& cut = torn.Table().expected;
  EXPECT_FALSE(torn.View().BlockIntact(torn.Table().data_pages[5], 4096));
  EXPECT_EQ(cut.open_events, (std::vector<uint16_t>{19, 21, 20}));
  EXPECT_EQ(cut.version, 41u);
  EXPECT_EQ(cut.record_count, 260u);
  EXPECT_EQ(cut.lost_first, 200u);
  EXPECT_EQ(cut.lost_count, 40u);
  EXPECT_TRUE(cut.head_after_open.empty());
}

struct RemovalCase {
  PendingRemoval removal;
  uint32_t stored_flags;
  uint32_t stored_cursor;
};

class UdbWriterRemovalTest : public ::testing::TestWithParam<RemovalCase> {};

// Completes the removal the way the file engine does, on the records as the file holds them.
std::vector<std::vector<uint8_t>> CompleteRemoval(const std::vector<std::vector<uint8_t>>& held,
                                                  const PendingRemoval& removal, int64_t cursor) {
  std::vector<std::vector<uint8_t>> records = held;
  const int64_t count = static_cast<int64_t>(records.size());
  const int64_t remaining = count - removal.count;
  const int64_t last_needed = remaining > 0 ? (remaining - 1) / 40 : -1;
  for (int64_t page = cursor + 1; page <= last_needed; ++page) {
    for (int64_t i = std::max<int64_t>(page * 40, removal.first);
         i < (page + 1) * 40 && i + removal.count < count; ++i) {
      records[i] = records[i + removal.count];
    }
  }
  records.resize(remaining);
  return records;
}

TEST_P(UdbWriterRemovalTest, RebuiltPagesHoldTheRowsAfterTheRemovalAndTheRestBefore) {
  const RemovalCase c = GetParam();
  Written file(TableDamage{.pending_removal = c.removal});
  const TableLayout& table = file.Table();
  const UdbFileView view = file.View();
  const std::vector<uint8_t> head = view.Block(table.primary_head, 512);
  EXPECT_EQ(head[46], c.stored_flags);
  EXPECT_EQ(Get32(&head[48]), c.stored_cursor);
  EXPECT_EQ(Get32(&head[52]), c.removal.first);
  EXPECT_EQ(Get32(&head[56]), c.removal.count);
  EXPECT_EQ(Get32(&head[18]), kRows);
  const int64_t cursor = int64_t{c.removal.first / 40} - 1 + c.removal.rebuilt_pages;
  if (cursor >= 0) {
    EXPECT_EQ(Get32(&head[60]), table.data_pages[cursor]);
    EXPECT_EQ(file.Raw(true, table.journal_slot, 4096),
              file.Raw(true, table.data_pages[cursor], 4096));
  }
  std::vector<std::vector<uint8_t>> held;
  std::vector<std::vector<uint8_t>> before;
  for (uint32_t n = 0; n < kRows; ++n) {
    held.push_back(view.Record(table, n));
    before.push_back(file.CleanView().Record(file.clean.tables[1], n));
  }
  for (uint32_t n = 0; n < kRows; ++n) {
    const bool rebuilt = n / 40 <= cursor && n + c.removal.count < kRows;
    const uint32_t source = rebuilt && n >= c.removal.first ? n + c.removal.count : n;
    ASSERT_EQ(held[n], before[source]) << n;
  }
  std::vector<std::vector<uint8_t>> after = before;
  after.erase(after.begin() + c.removal.first, after.begin() + c.removal.first + c.removal.count);
  EXPECT_EQ(CompleteRemoval(held, c.removal, cursor), after);

  const ExpectedRepair& expected = table.expected;
  EXPECT_EQ(expected.open_events, std::vector<uint16_t>{19});
  EXPECT_EQ(expected.record_count, kRows - c.removal.count);
  EXPECT_EQ(expected.version, 41u);
  const std::vector<uint8_t>& settled = expected.head_after_open;
  ASSERT_EQ(settled.size(), 512u);
  EXPECT_EQ(settled[46], 0);
  EXPECT_EQ(Get32(&settled[18]), kRows - c.removal.count);
  EXPECT_EQ(Get32(&settled[26]), 41u);
  const int64_t remaining = int64_t{kRows} - c.removal.count;
  const int64_t last = remaining > 0 ? (remaining - 1) / 40 : -1;
  EXPECT_EQ(Get32(&settled[48]), static_cast<uint32_t>(std::max(cursor, last)));
  EXPECT_EQ(EventAt(settled, 1), 19);
  EXPECT_EQ(settled[104], c.stored_flags);  // the event copies the head as it was found
  EXPECT_EQ(Get32(&settled[106]), c.stored_cursor);
}

INSTANTIATE_TEST_SUITE_P(Cursors, UdbWriterRemovalTest,
                         ::testing::Values(RemovalCase{PendingRemoval{50, 30, 0, false}, 2, 0},
                                           RemovalCase{PendingRemoval{50, 30, 2, false}, 2, 2},
                                           RemovalCase{PendingRemoval{50, 30, 2, true}, 4, 3},
                                           RemovalCase{PendingRemoval{0, 1, 0, true}, 4, 0},
                                           RemovalCase{PendingRemoval{260, 40, 0, false}, 2, 5},
                                           RemovalCase{PendingRemoval{0, kRows, 0, true}, 4, 0}));

TEST(UdbWriterDamageTest, RejectsDamageItCannotDescribe) {
  tabshift::testing::TempDirectory directory;
  const auto write = [&](TableDamage damage) {
    WriteUdbFile(directory.File("x.udb"), Description(damage));
  };
  EXPECT_THROW(write(TableDamage{.primary_head = true, .pending_removal = PendingRemoval{}}),
               std::invalid_argument);
  EXPECT_THROW(write(TableDamage{.data_page = 1, .blob_page = 1}), std::invalid_argument);
  EXPECT_THROW(write(TableDamage{.data_page = 8}), std::invalid_argument);
  EXPECT_THROW(write(TableDamage{.pending_removal = PendingRemoval{290, 11, 0, false}}),
               std::invalid_argument);
  EXPECT_THROW(write(TableDamage{.pending_removal = PendingRemoval{50, 30, 7, false}}),
               std::invalid_argument);
}

}  // namespace
}  // namespace tabshift::udbgen

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/ABSBTreeTableIndex.h"
#include "engine/core/ABSTempEngine.h"
#include "engine/core/ABSTempPageManager.h"
#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "platform/FileSystem.h"

namespace tabshift::testing {
namespace {

constexpr int32_t kSession = 0;
constexpr uint64_t kPageSize = TABSTemporaryPageManager::kPageSize;

// The memory figure that leaves room for `pages` pages in memory.
constexpr uint64_t MemoryForPages(uint64_t pages) {
  return pages * 10 * kPageSize;
}

// Fills a page with bytes that tell it and its version apart from every other.
void Stamp(TABSPage& page, int32_t version) {
  for (size_t i = 0; i < kPageSize; ++i) {
    page.Buffer()[i] = static_cast<uint8_t>(page.PageNo() * 31 + version * 7 + i % 251);
  }
}

bool HasStamp(const TABSPage& page, int32_t version) {
  for (size_t i = 0; i < kPageSize; ++i) {
    if (page.Buffer()[i] != static_cast<uint8_t>(page.PageNo() * 31 + version * 7 + i % 251)) {
      return false;
    }
  }
  return true;
}

int32_t AddStampedPage(TABSPageManager& pages) {
  TABSPage* page = pages.AddPage(kSession, 0);
  Stamp(*page, 0);
  const int32_t page_no = page->PageNo();
  pages.ReleasePage(page);
  return page_no;
}

// Reads the page from the store, past the cache, and checks its contents.
bool StoredPageHasStamp(TABSPageManager& pages, int32_t page_no, int32_t version) {
  pages.FreeAllPages();
  TABSPage* page = pages.GetPage(kSession, page_no, false, page_header::kAnyPageType);
  const bool stamped = HasStamp(*page, version);
  pages.ReleasePage(page);
  return stamped;
}

class TemporaryPages : public ::testing::TestWithParam<bool> {};

TEST_P(TemporaryPages, EveryPageReadsBackFromWhereItWasStored) {
  const bool memory_only = GetParam();
  const int64_t bytes_before = MemoryManager().BytesInUse();
  std::string file_name;
  {
    TABSTemporaryPageManager pages(memory_only, MemoryForPages(3));
    ASSERT_EQ(pages.PageLimit(), 3);
    std::vector<int32_t> numbers;
    for (int i = 0; i < 12; ++i) numbers.push_back(AddStampedPage(pages));
    pages.CommitSessionPages(kSession);
    EXPECT_EQ(pages.GetPageCount(), 12);
    file_name = pages.FileName();
    EXPECT_EQ(file_name.empty(), memory_only);
    if (!memory_only) {
      EXPECT_TRUE(platform::FileExists(file_name));
      EXPECT_NE(file_name.find("VOZ"), std::string::npos);
    }
    for (const int32_t page_no : numbers) {
      EXPECT_TRUE(StoredPageHasStamp(pages, page_no, 0)) << "page " << page_no;
    }

    TABSPage* changed = pages.GetPage(kSession, numbers[7], false, page_header::kAnyPageType);
    Stamp(*changed, 1);
    changed->SetDirty(true);
    pages.ReleasePage(changed);
    pages.CommitSessionPages(kSession);
    EXPECT_TRUE(StoredPageHasStamp(pages, numbers[7], 1));
    EXPECT_TRUE(StoredPageHasStamp(pages, numbers[8], 0));
  }
  EXPECT_FALSE(!file_name.empty() && platform::FileExists(file_name));
  EXPECT_EQ(MemoryManager().BytesInUse(), bytes_before);
}

INSTANTIATE_TEST_SUITE_P(MemoryOnlyOrNot, TemporaryPages, ::testing::Bool());

TEST(TemporaryPageNumbers, MemoryNumbersAreReusedFileSlotsAreNot) {
  TABSTemporaryPageManager pages(false, MemoryForPages(2));
  std::vector<int32_t> numbers;
  for (int i = 0; i < 5; ++i) numbers.push_back(AddStampedPage(pages));
  pages.CommitSessionPages(kSession);
  EXPECT_EQ(numbers, (std::vector<int32_t>{0, 1, 2, 3, 4}));

  pages.DeletePage(kSession, 3);
  pages.DeletePage(kSession, 1);
  pages.CommitSessionPages(kSession);
  EXPECT_EQ(pages.GetPageCount(), 3);
  pages.FreeAllPages();
  EXPECT_ENGINE_TEXT(pages.GetPage(kSession, 3, false, page_header::kAnyPageType), 10396,
                     "Page allocation not released");

  EXPECT_EQ(AddStampedPage(pages), 1);
  EXPECT_EQ(AddStampedPage(pages), 5);
  pages.CommitSessionPages(kSession);
  EXPECT_TRUE(StoredPageHasStamp(pages, 5, 0));
  EXPECT_TRUE(StoredPageHasStamp(pages, 4, 0));

  // Pages a rolled-back session allocated in the file are given back, their slots stay used.
  AddStampedPage(pages);
  pages.DiscardSessionPages(kSession);
  EXPECT_EQ(pages.GetPageCount(), 5);
  EXPECT_EQ(AddStampedPage(pages), 7);
  pages.CommitSessionPages(kSession);
}

// A temporary table with an INTEGER and a STRING(40) column and an index on each, made with a
// memory figure that keeps only two index pages in memory.
class SpillingTemporaryTable : public ::testing::Test {
 protected:
  static constexpr int32_t kRecords = 3000;

  void SetUp() override {
    bytes_before_ = MemoryManager().BytesInUse();
    TABSFieldDefs fields;
    AddField(fields, "K", adtInteger);
    AddField(fields, "S", adtString, 40);
    TABSIndexDefs indexes;
    AddIndexDef(indexes, "ByK", {"K"});
    AddIndexDef(indexes, "ByS", {"S"});
    cursor_.table_name = "Spilled";
    table_ = &static_cast<TABSTemporaryTableData&>(TemporaryDatabaseData().GetTableData(cursor_));
    TABSTemporaryTableData::SetAvailableMemoryForTesting(MemoryForPages(2));
    table_->CreateTable(cursor_, fields, indexes, {});
    TABSTemporaryTableData::SetAvailableMemoryForTesting(0);
    buffer_.assign(static_cast<size_t>(cursor_.record_buffer_size), 0);
    cursor_.record_buffer = buffer_.data();
  }
  void TearDown() override { Drop(); }
  void Drop() {
    if (table_ != nullptr) table_->DropTable(cursor_, false);
    table_ = nullptr;
  }

  // Distinct texts of one length, so that their collation order is their byte order.
  static std::string TextFor(int32_t key) {
    const std::string digits = std::to_string(key * 7919 % 100003);
    return "row " + std::string(6 - digits.size(), '0') + digits;
  }
  void Append(int32_t key) {
    std::memset(buffer_.data(), 0, buffer_.size());
    const std::string text = TextFor(key);
    table_->FieldManager()->SetFieldData(0, &key, buffer_.data());
    table_->FieldManager()->SetFieldData(1, text.c_str(), buffer_.data());
    ASSERT_TRUE(table_->InsertRecord(cursor_));
  }
  int32_t Key() {
    int32_t key = -1;
    table_->FieldManager()->GetFieldData(0, &key, buffer_.data());
    return key;
  }
  std::string Text() {
    std::vector<char> text(64, '\0');
    table_->FieldManager()->GetFieldData(1, text.data(), buffer_.data());
    return text.data();
  }
  int32_t IndexId(const std::string& name) {
    return table_->IndexManager()->IndexDefs().ItemByName(name)->ObjectID;
  }
  TABSTemporaryPageManager& Pages() {
    return static_cast<TABSTemporaryPageManager&>(*table_->PageManager());
  }
  // Every record in the order of the index, each checked against its key.
  std::vector<int32_t> KeysInOrderOf(const std::string& index) {
    cursor_.index_id = IndexId(index);
    std::vector<int32_t> keys;
    for (auto where = TABSNavigateTo::First;
         table_->NavigateRecord(cursor_, where) == TABSReadResult::Found;
         where = TABSNavigateTo::Next) {
      keys.push_back(Key());
      EXPECT_EQ(Text(), TextFor(keys.back()));
    }
    return keys;
  }

  int64_t bytes_before_ = 0;
  TABSCursorState cursor_;
  TABSTemporaryTableData* table_ = nullptr;
  std::vector<uint8_t> buffer_;
};

TEST_F(SpillingTemporaryTable, IndexPagesSpillToAFileAndReadBackThroughTheIndex) {
  for (int32_t i = 0; i < kRecords; ++i) Append(i * 1237 % kRecords);
  ASSERT_EQ(Pages().PageLimit(), 2);
  EXPECT_GT(Pages().GetPageCount(), 10);
  const std::string page_file = Pages().FileName();
  ASSERT_FALSE(page_file.empty());
  EXPECT_TRUE(platform::FileExists(page_file));
  EXPECT_NE(page_file.find("VOZ"), std::string::npos);
  // Drop the cached pages, so that every index page is read from memory or the file again.
  Pages().FreeAllPages();
  for (const char* index : {"ByK", "ByS"}) {
    auto& tree =
        static_cast<TABSBTreeTableIndex&>(table_->IndexManager()->GetIndex(IndexId(index)));
    tree.Tree().CheckIntegrity(kSession);
  }

  std::vector<int32_t> expected(kRecords);
  for (int32_t i = 0; i < kRecords; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(KeysInOrderOf("ByK"), expected);
  std::vector<int32_t> by_text = KeysInOrderOf("ByS");
  ASSERT_EQ(by_text.size(), expected.size());
  for (size_t i = 1; i < by_text.size(); ++i) {
    EXPECT_LT(TextFor(by_text[i - 1]), TextFor(by_text[i]));
  }

  Drop();
  EXPECT_FALSE(platform::FileExists(page_file));
  EXPECT_EQ(MemoryManager().BytesInUse(), bytes_before_);
}

}  // namespace
}  // namespace tabshift::testing

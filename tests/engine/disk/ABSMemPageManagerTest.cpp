#include "engine/core/ABSMemPageManager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PageTestSupport.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

using page_test::ExpectEngineError;

class MemoryPageManagerTest : public ::testing::Test {
 protected:
  std::vector<int32_t> AddPages(int count) {
    std::vector<int32_t> pages;
    for (int i = 0; i < count; ++i) {
      TABSPage* page = manager_.AddPage(0, 0);
      pages.push_back(page->PageNo());
      manager_.ReleasePage(page);
    }
    manager_.CommitSessionPages(0);
    return pages;
  }

  TABSMemoryPageManager manager_;
};

TEST_F(MemoryPageManagerTest, PagesHaveNoHeader) {
  EXPECT_EQ(manager_.PageSize(), 4096);
  EXPECT_EQ(manager_.PageHeaderSize(), 0);
  TABSPage* page = manager_.AddPage(0, 12);
  EXPECT_EQ(page->Data(), page->Buffer());
  EXPECT_EQ(page->Buffer()[8], 0);  // no page type written
  manager_.ReleasePage(page);
  manager_.DiscardSessionPages(0);
}

TEST_F(MemoryPageManagerTest, NumbersAndBuffersGrowInStepsOfFifty) {
  AddPages(50);
  EXPECT_EQ(manager_.PageCapacity(), 50);
  AddPages(1);
  EXPECT_EQ(manager_.PageCapacity(), 100);
  EXPECT_EQ(manager_.HighestPageNo(), 50);
  EXPECT_EQ(manager_.GetPageCount(), 51);
}

TEST_F(MemoryPageManagerTest, AllocationReusesTheLowestFreeNumber) {
  AddPages(4);
  manager_.DeletePage(0, 2);
  manager_.DeletePage(0, 1);
  manager_.CommitSessionPages(0);
  EXPECT_EQ(AddPages(3), (std::vector<int32_t>{1, 2, 4}));
  EXPECT_EQ(manager_.HighestPageNo(), 4);
}

TEST_F(MemoryPageManagerTest, AReusedNumberStartsAsAZeroPage) {
  AddPages(1);
  TABSPage* page = manager_.GetPage(0, 0, false, 255);
  page->Data()[100] = 9;
  page->SetDirty(true);
  manager_.ReleasePage(page);
  manager_.CommitSessionPages(0);
  manager_.DeletePage(0, 0);
  manager_.CommitSessionPages(0);
  page = manager_.AddPage(0, 0);
  ASSERT_EQ(page->PageNo(), 0);
  EXPECT_EQ(page->Data()[100], 0);
  manager_.ReleasePage(page);
  manager_.CommitSessionPages(0);
}

TEST_F(MemoryPageManagerTest, ReadingAnUnallocatedPageFails) {
  ExpectEngineError([&] { manager_.GetPage(0, 3, false, 255); }, 10392,
                    "Page allocation not released - Native error: 10392");
  ExpectEngineError([&] { manager_.GetPage(0, -5, false, 255); }, 10392);
}

class MemoryPageStreamTest : public MemoryPageManagerTest {
 protected:
  // Pages 0 to 2 hold 'a' to 'c', page 1 is freed, and session 1 has an uncommitted change.
  void SaveSample() {
    AddPages(3);
    for (int32_t page_no = 0; page_no < 3; ++page_no) {
      TABSPage* page = manager_.GetPage(0, page_no, false, 255);
      page->Data()[4095] = static_cast<uint8_t>('a' + page_no);
      page->SetDirty(true);
      manager_.ReleasePage(page);
    }
    manager_.DeletePage(0, 1);
    manager_.CommitSessionPages(0);
    manager_.SaveToStream(stream_);
    stream_.SetPosition(0);
  }
  uint8_t LastByte(TABSPageManager& manager, int32_t page_no) {
    TABSPage* page = manager.GetPage(0, page_no, false, 255);
    const uint8_t value = page->Data()[4095];
    manager.ReleasePage(page);
    return value;
  }
  template <typename T>
  void Patch(int64_t offset, T value) {
    std::memcpy(stream_.Memory() + offset, &value, sizeof value);
  }

  TMemoryStream stream_;
  TABSMemoryPageManager loaded_;
};

TEST_F(MemoryPageStreamTest, SavedPagesLoadBack) {
  SaveSample();
  // 20 bytes of counts, 8 + 7 of allocation bits, 50 pages.
  EXPECT_EQ(stream_.Size(), 20 + 8 + 7 + 50 * 4096);
  loaded_.LoadFromStream(stream_);
  EXPECT_EQ(loaded_.GetPageCount(), 2);
  EXPECT_EQ(loaded_.PageCapacity(), 50);
  EXPECT_EQ(loaded_.HighestPageNo(), 2);
  EXPECT_EQ(LastByte(loaded_, 0), 'a');
  EXPECT_EQ(LastByte(loaded_, 2), 'c');
  ExpectEngineError([&] { loaded_.GetPage(0, 1, false, 255); }, 10392);
  TABSPage* page = loaded_.AddPage(0, 0);
  EXPECT_EQ(page->PageNo(), 1);
  loaded_.ReleasePage(page);
  loaded_.CommitSessionPages(0);
}

struct DamagedState {
  const char* name;
  int64_t offset;
  int32_t value;
};

class DamagedMemoryPages : public MemoryPageStreamTest,
                           public ::testing::WithParamInterface<DamagedState> {};

TEST_P(DamagedMemoryPages, AreRefusedAndLeaveTheManagerAsItWas) {
  SaveSample();
  Patch(GetParam().offset, GetParam().value);
  ExpectEngineError([&] { manager_.LoadFromStream(stream_); }, 20041);
  EXPECT_EQ(LastByte(manager_, 2), 'c');
  EXPECT_EQ(manager_.GetPageCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Fields, DamagedMemoryPages,
                         ::testing::Values(DamagedState{"HugeCapacity", 0, 2000000000},
                                           DamagedState{"NegativeCapacity", 0, -50},
                                           DamagedState{"HighestBeyondCapacity", 4, 50},
                                           DamagedState{"HighestBelowLastAllocated", 4, 1},
                                           DamagedState{"NoGrowthStep", 8, 0},
                                           DamagedState{"OtherPageSize", 12, 8192},
                                           DamagedState{"AllocatedCountWrong", 16, 3}),
                         [](const ::testing::TestParamInfo<DamagedState>& info) {
                           return info.param.name;
                         });

TEST_F(MemoryPageStreamTest, ATruncatedStreamIsRefused) {
  SaveSample();
  stream_.SetSize(stream_.Size() - 1);
  ExpectEngineError([&] { loaded_.LoadFromStream(stream_); }, 20041);
  stream_.SetSize(10);
  stream_.SetPosition(0);
  ExpectEngineError(
      [&] { loaded_.LoadFromStream(stream_); }, 20040,
      "Cannot read from stream. Position = 0, Stream size = 10, Block size = 20, Bytes Read = "
      "10 - Native error: 20040");
  EXPECT_EQ(loaded_.GetPageCount(), 0);
}

TEST_F(MemoryPageStreamTest, LoadingRefusesUncommittedChanges) {
  SaveSample();
  TABSPage* page = manager_.GetPage(1, 0, false, 255);
  page->SetDirty(true);
  manager_.ReleasePage(page);
  ExpectEngineError([&] { manager_.LoadFromStream(stream_); }, 20097);
  manager_.DiscardSessionPages(1);
}

}  // namespace
}  // namespace tabshift

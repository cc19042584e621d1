// Malformed files of every kind end in an EUdbError, never in a crash, a hang or a huge
// allocation. Runs under the sanitizer build too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>

#include "UdbFixture.h"

namespace tabshift::udb::testing {
namespace {

using low::kHeadSize;
using low::kIndexBlockSize;
using low::Put16;
using low::Put32;
using tabshift::testing::TempDirectory;

UdbDescription Sample() {
  UdbDescription description;
  description.password = "pw";
  TableSpec table{.name = "T",
                  .key_field_count = 1,
                  .fields = {Field("ID", UdbType::Int32), Field("DOC", UdbType::Blob),
                             Field("DAY", UdbType::Date), BytesField("PAD", 84)},
                  .page_index = PageIndexMode::Never};
  for (int i = 0; i < 200; ++i) {
    table.rows.push_back(Row{int64_t{i}, std::string(300, 'b'), Date{40000}, std::string(84, 'p')});
  }
  description.tables.push_back(table);
  return description;
}

struct Fixture {
  const std::string& path;
  const UdbDescription& description;
  const TableLayout& table;
  void Head(const std::function<void(std::vector<uint8_t>&)>& edit) const {
    EditUdbBlock(path, description, table.primary_head, 512, edit);
    EditUdbBlock(path, description, table.back_head, 512, edit);
  }
  void DataPage(uint32_t page, const std::function<void(std::vector<uint8_t>&)>& edit) const {
    EditUdbBlock(path, description, table.data_pages[page], 4096, edit);
  }
  void Truncate(uint64_t size) const {
    std::string bytes = tabshift::testing::ReadWholeFile(path);
    bytes.resize(size);
    tabshift::testing::WriteWholeFile(path, bytes);
  }
};

struct Case {
  const char* name;
  std::function<void(const Fixture&)> damage;
  std::set<int32_t> codes;  // the codes reading everything may end with
};

// Opens the set and reads every value of every table; the code of the EUdbError, 0 without.
int32_t ReadEverything(const std::string& path, TOpenMode mode = TOpenMode::Share) {
  try {
    OpenSet set(path, "pw", mode);
    for (int t = 0; t < set.file.TableCount(); ++t) {
      auto table = set.Table(set.file.GetTableInfo(t).name);
      for (int guard = 0; table->FetchNext() && guard < 100000; ++guard) {
        for (int f = 0; f < table->FieldCount(); ++f) {
          TUdbField& field = table->Fields(f);
          field.AsString();
          field.AsLargeint();
          TMemoryStream stream;
          if (field.FieldType() == 6 || field.FieldType() == 7) field.ReadBlob(stream);
        }
      }
    }
  } catch (const EUdbError& error) {
    return error.Code();
  }
  return 0;
}

class UdbMalformedTest : public ::testing::TestWithParam<Case> {};

TEST_P(UdbMalformedTest, EndsInAnError) {
  TempDirectory directory;
  const std::string path = directory.File("bad.udb");
  const UdbDescription description = Sample();
  const UdbFileLayout layout = WriteUdbFile(path, description);
  GetParam().damage(Fixture{path, description, layout.tables[0]});
  const int32_t code = ReadEverything(path);
  EXPECT_TRUE(GetParam().codes.count(code)) << "code " << code;
}

const auto kBlobAt = [](uint32_t length, uint32_t start) {
  return [=](const Fixture& f) {
    f.DataPage(0, [&](std::vector<uint8_t>& page) {
      Put32(&page[6 + 4], length);
      Put32(&page[6 + 8], start);
    });
  };
};

INSTANTIATE_TEST_SUITE_P(
    Files, UdbMalformedTest,
    ::testing::Values(
        Case{"Empty", [](const Fixture& f) { f.Truncate(0); }, {2}},
        Case{"TruncatedHeader", [](const Fixture& f) { f.Truncate(0x7BFF); }, {2}},
        Case{"TruncatedInHeads", [](const Fixture& f) { f.Truncate(0x8000 + 100); }, {0, 18, 20}},
        Case{"TruncatedInJournalSlot",
             [](const Fixture& f) { f.Truncate(f.table.journal_slot + 1000); },
             {0, 18, 20}},
        Case{"TruncatedInDataPage",
             [](const Fixture& f) { f.Truncate(f.table.data_pages[2] + 100); },
             {20}},
        Case{"AbsurdRecordCount",
             [](const Fixture& f) { f.Head([](auto& h) { Put32(&h[18], 0x7FFFFFF0); }); },
             {20}},
        Case{"AbsurdPageCountsAndLoopingChain",
             [](const Fixture& f) {
               f.Head([](auto& h) {
                 Put32(&h[2], 0xFFFFFFFF);
                 Put32(&h[18], 0xFFFFFFFF);
               });
               f.DataPage(4, [&](auto& page) { Put32(&page[2], f.table.data_pages[1]); });
             },
             {20}},
        Case{"ChainIntoNowhere",
             [](const Fixture& f) {
               f.DataPage(1, [](auto& page) { Put32(&page[2], 0x7FFFF000); });
             },
             {20}},
        Case{"FirstPageOffsetOutsideTheFile",
             [](const Fixture& f) { f.Head([](auto& h) { Put32(&h[10], 0xFFFFFE00); }); },
             {20}},
        Case{"BlobBeyondTheBlobSpace", kBlobAt(300, 0x7FFFFF00), {20}},
        Case{"BlobOfAbsurdLength", kBlobAt(0xFFFFFFFF, 0), {20}},
        Case{"BlobPageCountAbsurd",
             [](const Fixture& f) {
               kBlobAt(0x7FFFFFFF, 0)(f);
               f.Head([](auto& h) { Put32(&h[6], 0xFFFFFFFF); });
             },
             {17, 20}},
        Case{"DateOutOfRange",
             [](const Fixture& f) {
               f.DataPage(0, [](auto& page) { Put32(&page[6 + 12], 0x80000000); });
             },
             {23}},
        Case{"RecordLargerThanAPage",
             [](const Fixture& f) {
               EditUdbHeader(f.path, f.description, [](auto& h) { Put16(&h[11 + 29 + 4], 9000); });
             },
             {11}},
        Case{"UnknownTypeCode",
             [](const Fixture& f) {
               EditUdbHeader(f.path, f.description, [](auto& h) { h[11 + 29 + 3] = 9; });
             },
             {9}},
        Case{"DescriptorsPastTheHeader",
             [](const Fixture& f) {
               EditUdbHeader(f.path, f.description, [](auto& h) {
                 h[10] = 255;
                 for (int t = 0; t < 255; ++t) {
                   uint8_t* entry = &h[11 + 29 * t];
                   entry[0] = 1;
                   entry[1] = 'A';
                   entry[25] = 0;
                   Put16(entry + 26, 0);
                   entry[28] = 255;
                 }
               });
             },
             {10}},
        Case{"PendingRemovalOfAbsurdSize",
             [](const Fixture& f) {
               f.Head([](auto& h) {
                 h[46] = 2;
                 Put32(&h[52], 0xFFFFFFF0);
                 Put32(&h[56], 0x7FFFFFFF);
               });
             },
             {0}},
        Case{"PendingWriteIntoTheHeader",
             [](const Fixture& f) {
               f.Head([](auto& h) {
                 h[46] = 1;
                 Put32(&h[60], 0);
               });
             },
             {0}},
        Case{"JournalIndexesOutOfRange",
             [](const Fixture& f) {
               f.Head([](auto& h) {
                 h[80] = 255;
                 h[81] = 255;
                 h[46] = 2;
                 Put32(&h[56], 0);
               });
             },
             {0}}),
    [](const auto& info) { return std::string(info.param.name); });

// Seeded random damage with valid checksums, so that the damage reaches past the block checks
// into heads, catalogue, chains, page index blocks, records and BLOB references. Each round
// damages a fresh file in one to three places, reads everything twice in two of the open modes
// (the first read may repair) and must end cleanly or in an EUdbError. UDB_DAMAGE_ROUNDS sets
// the number of rounds.
class RandomDamage {
 public:
  RandomDamage(const std::string& path, const UdbDescription& description,
               const UdbFileLayout& layout, uint32_t seed)
      : path_(path), description_(description), layout_(layout), random_(seed) {}

  // Cutting the file comes last: the edits need their blocks.
  void Apply() {
    const int count = 1 + static_cast<int>(Below(3));
    for (int i = 0; i < count; ++i) ApplyOne();
    if (Below(6) == 0) Truncate();
  }

 private:
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random_() % bound); }

  uint32_t Value() {
    static constexpr uint32_t kEdges[] = {0,          1,          2,          0xFF,      0x1FF,
                                          0x200,      0x7FFF,     0x8000,     0xC000,    0x7FFFFFFF,
                                          0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x7FFFF000};
    switch (Below(3)) {
      case 0:
        return kEdges[Below(std::size(kEdges))];
      case 1:
        return Below(static_cast<uint32_t>(layout_.file_size) + 8192);
      default:
        return static_cast<uint32_t>(random_());
    }
  }

  // A 1-, 2- or 4-byte value at a random place from `from` to `to` of a decoded block.
  void Scribble(std::vector<uint8_t>& bytes, uint32_t from, uint32_t to) {
    to = std::min(to, static_cast<uint32_t>(bytes.size()));
    if (to <= from + 4) return;
    const uint32_t at = from + Below(to - from - 4);
    const uint32_t value = Value();
    switch (Below(3)) {
      case 0:
        bytes[at] = static_cast<uint8_t>(value);
        break;
      case 1:
        Put16(&bytes[at], static_cast<uint16_t>(value));
        break;
      default:
        Put32(&bytes[at], value);
    }
  }

  void EditBlock(uint32_t offset, uint32_t length) {
    EditUdbBlock(path_, description_, offset, length,
                 [&](std::vector<uint8_t>& bytes) { Scribble(bytes, 2, length); });
  }

  void ApplyOne() {
    const TableLayout& table = layout_.tables[Below(layout_.tables.size())];
    switch (Below(8)) {
      case 0:
        EditBlock(table.primary_head, kHeadSize);
        break;
      case 1:
        EditBlock(table.back_head, kHeadSize);
        break;
      case 2: {
        const uint32_t head_offset = Below(100);
        const uint32_t value = Value();
        for (uint32_t head : {table.primary_head, table.back_head}) {
          EditUdbBlock(path_, description_, head, kHeadSize,
                       [&](std::vector<uint8_t>& bytes) { Put32(&bytes[head_offset], value); });
        }
        break;
      }
      case 3:
        // The catalogue: table count and descriptors, then the field descriptors.
        EditUdbHeader(path_, description_,
                      [&](std::vector<uint8_t>& bytes) { Scribble(bytes, 8, 11 + 29 * 8 + 64); });
        break;
      case 4:
      case 5:
        EditBlock(table.data_pages[Below(table.data_pages.size())], table.page_size);
        break;
      case 6:
        if (!table.blob_pages.empty()) {
          EditBlock(table.blob_pages[Below(table.blob_pages.size())], table.page_size);
        }
        break;
      default:
        if (table.page_index != 0) EditBlock(table.page_index, kIndexBlockSize);
    }
  }

  void Truncate() {
    std::string bytes = tabshift::testing::ReadWholeFile(path_);
    bytes.resize(Below(static_cast<uint32_t>(bytes.size())));
    tabshift::testing::WriteWholeFile(path_, bytes);
  }

  const std::string& path_;
  const UdbDescription& description_;
  const UdbFileLayout& layout_;
  std::mt19937 random_;
};

UdbDescription DamageSample() {
  UdbDescription description;
  description.password = "pw";
  TableSpec small{.name = "SMALLPAGES",
                  .page_size = 512,
                  .key_field_count = 1,
                  .fields = {Field("ID", UdbType::Int32), TextField("NAME", 20),
                             Field("DOC", UdbType::Blob), Field("DAY", UdbType::Date)},
                  .page_index = PageIndexMode::Always};
  TableSpec wide{
      .name = "WIDE",
      .fields = {Field("N", UdbType::Int64), BytesField("PAD", 200), Field("LOB", UdbType::Blob)},
      .page_index = PageIndexMode::Never};
  for (int i = 0; i < 150; ++i) {
    small.rows.push_back(Row{int64_t{i}, "row " + std::to_string(i),
                             std::string(static_cast<size_t>(i * 37 % 700), 'd'), Date{40000 + i}});
    wide.rows.push_back(Row{int64_t{i} * 7, std::string(200, 'w'),
                            std::string(static_cast<size_t>(i % 5 == 0 ? 5000 : 10), 'l')});
  }
  description.tables = {small, wide};
  return description;
}

TEST(UdbRandomDamageTest, EndsCleanlyOrInAnError) {
  const char* rounds_setting = std::getenv("UDB_DAMAGE_ROUNDS");
  const int rounds = rounds_setting != nullptr ? std::atoi(rounds_setting) : 120;
  TempDirectory directory;
  const std::string clean = directory.File("clean.udb");
  const std::string path = directory.File("bad.udb");
  const UdbDescription description = DamageSample();
  const UdbFileLayout layout = WriteUdbFile(clean, description);
  const std::string clean_bytes = tabshift::testing::ReadWholeFile(clean);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    tabshift::testing::WriteWholeFile(path, clean_bytes);
    RandomDamage(path, description, layout, static_cast<uint32_t>(round)).Apply();
    constexpr TOpenMode kModes[] = {TOpenMode::Share, TOpenMode::Exclusive, TOpenMode::ReadOnly,
                                    TOpenMode::DenyWrite};
    ReadEverything(path, kModes[round % 4]);
    ReadEverything(path, kModes[round / 4 % 4]);
  }
}

}  // namespace
}  // namespace tabshift::udb::testing

// Malformed files of every kind end in an EUdbError, never in a crash, a hang or a huge
// allocation. Runs under the sanitizer build too.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "UdbFixture.h"

namespace tabshift::udb::testing {
namespace {

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
int32_t ReadEverything(const std::string& path) {
  try {
    OpenSet set(path, "pw");
    for (int t = 0; t < set.file.TableCount(); ++t) {
      auto table = set.Table(set.file.GetTableInfo(t).name);
      for (int guard = 0; table->FetchNext() && guard < 100000; ++guard) {
        for (int f = 0; f < table->FieldCount(); ++f) {
          TUdbField& field = table->Fields(f);
          field.AsString();
          field.AsLargeint();
          TMemoryStream stream;
          if (field.FieldType() >= 6) field.ReadBlob(stream);
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

}  // namespace
}  // namespace tabshift::udb::testing

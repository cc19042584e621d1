#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>

#include "UdbFileChecks.h"
#include "UdbStreamWriter.h"
#include "UdbWriter.h"
#include "support/TempDirectory.h"

namespace tabshift::udbgen {
namespace {

using testing::ExpectFileHolds;
using testing::Get16;
using testing::Get32;
using testing::UdbFileView;

std::vector<FieldSpec> AllTypeFields() {
  return {Field("ID", UdbType::Int32),    TextField("NAME", 20),
          Field("SMALL", UdbType::UInt8), Field("SHORT", UdbType::Int16),
          Field("REAL", UdbType::Double), Field("DAY", UdbType::Date),
          BytesField("RAW", 5),           Field("DOC", UdbType::Blob),
          Field("BIG", UdbType::Int64)};
}

Row AllTypeRow(int id, std::mt19937& random) {
  const size_t blob_sizes[] = {0, 1, 5, 1017, 1018, 3000, 70000};
  std::string blob(blob_sizes[random() % 7], '\0');
  for (char& c : blob) c = static_cast<char>(random());
  return {int64_t{id},
          std::to_string(random() % 1000).insert(0, "name"),
          int64_t(random() % 256),
          int64_t(static_cast<int16_t>(random())),
          static_cast<double>(static_cast<int32_t>(random())) / 64.0,
          Date{static_cast<int32_t>(random() % 401769)},
          std::string(random() % 6, static_cast<char>(random())),
          BlobValue{blob, {}},
          int64_t(static_cast<int64_t>(random()) << 31 | random())};
}

struct FormatCase {
  uint16_t version;
  DecoderKind decoder;
};

class UdbWriterFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(UdbWriterFormatTest, WritesHeaderCatalogueRowsAndBlobsOfAllTypes) {
  tabshift::testing::TempDirectory directory;
  UdbDescription description;
  description.format_version = GetParam().version;
  description.decoder = GetParam().decoder;
  description.password = "secret";
  std::mt19937 random(GetParam().version);
  description.tables.reserve(2);
  TableSpec& all = description.tables.emplace_back();
  all.name = "ALLTYPES";
  all.page_size = 1024;
  all.key_field_count = 2;
  all.fields = AllTypeFields();
  for (int i = 0; i < 120; ++i) all.rows.push_back(AllTypeRow(119 - i % 60, random));
  all.version = 7;
  TableSpec& empty = description.tables.emplace_back();
  empty.name = "E";
  empty.page_size = 0;
  empty.fields = {Field("X", UdbType::UInt8)};
  const std::string path = directory.File("all.udb");
  const UdbFileLayout layout = WriteUdbFile(path, description);
  const UdbFileView view(path, description);

  const std::string bytes = view.Bytes();
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x69\xC3\x52\xAF"));
  EXPECT_EQ(Get16(reinterpret_cast<const uint8_t*>(&bytes[4])),
            description.decoder == DecoderKind::Plain ? 0 : 1);
  EXPECT_EQ(bytes.size(), layout.file_size);
  bool checksum_ok = false;
  const std::vector<uint8_t> header = view.Header(checksum_ok);
  EXPECT_TRUE(checksum_ok);
  EXPECT_EQ(Get16(&header[8]), description.format_version);
  EXPECT_EQ(header[10], 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&header[12]), header[11]), "ALLTYPES");
  EXPECT_EQ(header[11 + 25], 2);
  EXPECT_EQ(Get16(&header[11 + 26]), 1024);
  EXPECT_EQ(header[11 + 28], 9);
  EXPECT_EQ(Get16(&header[11 + 29 + 26]), 0);  // stored as given, read as 4096
  // Field descriptors: 36 bytes each up to format version 2, name length + 4 in version 3.
  const uint8_t* descriptor = &header[11 + 2 * 29];
  for (const FieldSpec& field : all.fields) {
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(descriptor + 1), descriptor[0]),
              field.name);
    const size_t name_room = description.format_version < 3 ? 33 : 1 + field.name.size();
    EXPECT_EQ(descriptor[name_room], static_cast<uint8_t>(field.type));
    EXPECT_EQ(Get16(descriptor + name_room + 1), DeclaredSize(field));
    descriptor += name_room + 3;
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(descriptor + 1), descriptor[0]), "X");

  // Fixed regions: the head array, then per table its journal slot and its back head.
  EXPECT_EQ(layout.tables[0].primary_head, 0x8000u);
  EXPECT_EQ(layout.tables[1].primary_head, 0x8200u);
  EXPECT_EQ(layout.tables[0].journal_slot, 0x8400u);
  EXPECT_EQ(layout.tables[0].back_head, 0x8400u + 1024);
  EXPECT_EQ(layout.tables[1].journal_slot, 0x8400u + 1024 + 512);
  EXPECT_EQ(layout.tables[1].back_head, 0x8400u + 1024 + 512 + 4096);
  EXPECT_EQ(layout.tables[0].record_size, 4 + 21 + 1 + 2 + 8 + 4 + 5 + 8 + 8);
  EXPECT_EQ(layout.tables[0].records_per_page, (1024u - 6) / 61);
  EXPECT_EQ(layout.tables[1].page_size, 4096u);
  EXPECT_TRUE(layout.tables[1].data_pages.empty());
  ExpectFileHolds(view, description, layout);
}

INSTANTIATE_TEST_SUITE_P(AllVersions, UdbWriterFormatTest,
                         ::testing::Values(FormatCase{0, DecoderKind::Cipher},
                                           FormatCase{1, DecoderKind::Plain},
                                           FormatCase{2, DecoderKind::Cipher},
                                           FormatCase{3, DecoderKind::Cipher},
                                           FormatCase{3, DecoderKind::Plain}));

TEST(UdbWriterTest, AnotherPasswordFailsTheHeaderChecksum) {
  tabshift::testing::TempDirectory directory;
  UdbDescription description;
  description.password = "right";
  description.tables.push_back(TableSpec{.name = "T", .fields = {Field("A", UdbType::Int32)}});
  WriteUdbFile(directory.File("p.udb"), description);
  description.password = "wrong";
  bool checksum_ok = true;
  UdbFileView(directory.File("p.udb"), description).Header(checksum_ok);
  EXPECT_FALSE(checksum_ok);
}

TEST(UdbWriterTest, StoresRowsSortedByTheirKeyFieldsKeepingTheOrderOfEqualKeys) {
  TableSpec table{
      .name = "K",
      .key_field_count = 2,
      .fields = {TextField("A", 5), Field("B", UdbType::Double), Field("C", UdbType::Int32)}};
  table.rows = {{std::string("b"), 1.5, int64_t{0}},
                {std::string("a"), 2.0, int64_t{1}},
                {std::string("ab"), -1.0, int64_t{2}},
                {std::string("a"), 2.0, int64_t{3}},
                {std::string("a"), -3.0, int64_t{4}}};
  std::vector<int64_t> order;
  for (const Row& row : StoredRows(table)) order.push_back(std::get<int64_t>(row[2]));
  EXPECT_EQ(order, (std::vector<int64_t>{4, 1, 3, 2, 0}));
  table.keep_row_order = true;
  EXPECT_EQ(std::get<int64_t>(StoredRows(table)[0][2]), 0);
}

TEST(UdbWriterTest, StreamingRejectsRowsOutOfKeyOrder) {
  tabshift::testing::TempDirectory directory;
  UdbDescription catalogue;
  catalogue.tables.push_back(
      TableSpec{.name = "S", .key_field_count = 1, .fields = {Field("A", UdbType::Int32)}});
  UdbStreamWriter writer(directory.File("s.udb"), catalogue);
  writer.AddRow(0, {int64_t{1}});
  writer.AddRow(0, {int64_t{1}});
  EXPECT_THROW(writer.AddRow(0, {int64_t{0}}), std::invalid_argument);
}

TEST(UdbWriterTest, PageIndexBlockListsTheDataPagesAsAskedFor) {
  struct Case {
    PageIndexMode mode;
    int rows;
    bool indexed;
  };
  for (const Case& c :
       {Case{PageIndexMode::Auto, 8 * 40, false}, Case{PageIndexMode::Auto, 8 * 40 + 1, true},
        Case{PageIndexMode::Always, 1, true}, Case{PageIndexMode::Always, 0, false},
        Case{PageIndexMode::Never, 2000, false}}) {
    tabshift::testing::TempDirectory directory;
    UdbDescription description;
    description.tables.push_back(TableSpec{.name = "A", .fields = {Field("N", UdbType::Int32)}});
    description.tables.reserve(2);
    TableSpec& table = description.tables.emplace_back();
    table.name = "B";
    table.fields = {BytesField("R", 96), Field("N", UdbType::Int32)};
    table.page_index = c.mode;
    for (int i = 0; i < c.rows; ++i) table.rows.push_back({std::string("r"), int64_t{i}});
    const UdbFileLayout layout = WriteUdbFile(directory.File("i.udb"), description);
    const TableLayout& written = layout.tables[1];
    ASSERT_EQ(written.page_index != 0, c.indexed) << c.rows;
    EXPECT_EQ(written.records_per_page, 40u);
    if (!c.indexed) continue;
    EXPECT_EQ(written.page_index % 512, 0u);
    const std::vector<uint8_t> block =
        UdbFileView(directory.File("i.udb"), description).Block(written.page_index, 0xC000);
    EXPECT_EQ(Get16(&block[2]), 1);
    ASSERT_EQ(Get32(&block[4]), written.data_pages.size());
    for (size_t i = 0; i < written.data_pages.size(); ++i) {
      EXPECT_EQ(Get32(&block[8 + 4 * i]), written.data_pages[i]);
    }
    EXPECT_EQ(Get32(&block[8 + 4 * written.data_pages.size()]), 0u);
  }
}

TEST(UdbWriterTest, PlacesABlobAtAGivenRawStartByTheRawPositionRule) {
  tabshift::testing::TempDirectory directory;
  UdbDescription description;
  TableSpec& table = description.tables.emplace_back();
  table.name = "B";
  table.fields = {Field("DOC", UdbType::Blob)};
  std::string bytes(6000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
  table.rows = {{BlobValue{bytes, 4097}}, {std::string("next")}};
  const std::string path = directory.File("b.udb");
  const UdbFileLayout layout = WriteUdbFile(path, description);
  const TableLayout& written = layout.tables[0];
  const UdbFileView view(path, description);
  // Raw position 4097 lies in the header of BLOB page 1: the BLOB starts at its byte 6, and
  // its byte 4999 lies in BLOB page 2 at byte 915.
  ASSERT_EQ(written.blob_pages.size(), 3u);
  EXPECT_EQ(view.Block(written.blob_pages[1], 4096)[6], static_cast<uint8_t>(bytes[0]));
  EXPECT_EQ(view.Block(written.blob_pages[2], 4096)[915], static_cast<uint8_t>(bytes[4999]));
  const std::vector<uint8_t> first = view.Record(written, 0);
  EXPECT_EQ(Get32(&first[0]), 6000u);
  EXPECT_EQ(Get32(&first[4]), 4097u);
  const std::vector<uint8_t> second = view.Record(written, 1);
  EXPECT_EQ(Get32(&second[4]), written.blob_end - 4);
  EXPECT_EQ(view.Blob(written, 4, Get32(&second[4])), "next");
}

TEST(UdbWriterTest, RejectsWhatTheFormatCannotHold) {
  tabshift::testing::TempDirectory directory;
  const auto write = [&](TableSpec table) {
    UdbDescription description;
    description.format_version = 2;
    description.tables.push_back(std::move(table));
    WriteUdbFile(directory.File("r.udb"), description);
  };
  const std::vector<FieldSpec> one = {Field("A", UdbType::UInt8)};
  EXPECT_THROW(write(TableSpec{.name = "P", .page_size = 1000, .fields = one}),
               std::invalid_argument);
  EXPECT_THROW(write(TableSpec{.name = std::string(25, 'N'), .fields = one}),
               std::invalid_argument);
  EXPECT_THROW(write(TableSpec{.name = "V", .fields = one, .rows = {{int64_t{256}}}}),
               std::invalid_argument);
  EXPECT_THROW(write(TableSpec{
                   .name = "D", .fields = {Field("D", UdbType::Date)}, .rows = {{Date{401769}}}}),
               std::invalid_argument);
  EXPECT_THROW(
      write(TableSpec{.name = "T", .fields = {TextField("T", 3)}, .rows = {{std::string("four")}}}),
      std::invalid_argument);
  EXPECT_THROW(write(TableSpec{.name = "L",
                               .page_size = 512,
                               .fields = {BytesField("B", 507)},
                               .rows = {{std::string("x")}}}),
               std::invalid_argument);
  // 36-byte descriptors: 900 fields do not fit in the header.
  TableSpec wide{.name = "W"};
  for (int i = 0; i < 255; ++i) {
    std::string name = "F";
    name += std::to_string(i);
    wide.fields.push_back(Field(name, UdbType::UInt8));
  }
  UdbDescription many;
  many.format_version = 2;
  for (int t = 0; t < 4; ++t) many.tables.push_back(wide);
  EXPECT_THROW(WriteUdbFile(directory.File("w.udb"), many), std::invalid_argument);
  many.format_version = 3;  // names of 2 to 4 characters take 6 to 8 bytes
  EXPECT_NO_THROW(WriteUdbFile(directory.File("w.udb"), many));
}

TEST(UdbWriterTest, EditsBlocksAndTheHeaderForMalformedFixtures) {
  tabshift::testing::TempDirectory directory;
  UdbDescription description;
  description.password = "edit";
  TableSpec& table = description.tables.emplace_back();
  table.name = "LOOP";
  table.fields = {BytesField("R", 1000)};
  table.page_index = PageIndexMode::Always;
  for (int i = 0; i < 20; ++i) table.rows.push_back({std::string(1000, 'r')});
  const std::string path = directory.File("e.udb");
  const TableLayout written = WriteUdbFile(path, description).tables[0];
  ASSERT_EQ(written.data_pages.size(), 5u);
  // A chain that loops: page 3 links back to page 1.
  EditUdbBlock(path, description, written.data_pages[3], 4096, [&](std::vector<uint8_t>& page) {
    std::memcpy(&page[2], &written.data_pages[1], 4);
  });
  const UdbFileView view(path, description);
  EXPECT_EQ(Get32(&view.Block(written.data_pages[3], 4096)[2]), written.data_pages[1]);
  EXPECT_EQ(view.Block(written.data_pages[3], 4096)[6], 'r');
  // An absurd record count in an intact head.
  EditUdbBlock(path, description, written.primary_head, 512,
               [](std::vector<uint8_t>& head) { std::memset(&head[18], 0xFF, 4); });
  EXPECT_EQ(Get32(&view.Block(written.primary_head, 512)[18]), 0xFFFFFFFFu);
  // A header of format version 4 that still passes its checksum.
  EditUdbHeader(path, description, [](std::vector<uint8_t>& header) { header[8] = 4; });
  bool checksum_ok = false;
  EXPECT_EQ(view.Header(checksum_ok)[8], 4);
  EXPECT_TRUE(checksum_ok);
  EXPECT_EQ(view.Bytes().substr(0, 4), std::string("\x69\xC3\x52\xAF"));
  CorruptUdbBlock(path, description, written.page_index, 0xC000);
  EXPECT_FALSE(view.BlockIntact(written.page_index, 0xC000));
  EXPECT_TRUE(view.BlockIntact(written.data_pages[4], 4096));
}

TEST(UdbWriterTest, DateOfCountsDaysFromTheLastDaysOf1899) {
  EXPECT_EQ(DateOf(1899, 12, 30).day, 0);
  EXPECT_EQ(DateOf(2000, 1, 1).day, 36526);
  EXPECT_EQ(DateOf(2999, 12, 31).day, 401768);
  EXPECT_EQ(DateOf(1900, 3, 1).day, 61);
}

}  // namespace
}  // namespace tabshift::udbgen

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <map>
#include <thread>

#include "SyntheticSet.h"
#include "UdbFixture.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace tabshift::udb::testing {
namespace {

using tabshift::testing::TempDirectory;

TEST(UdbErrorTest, TextsAndMessageComposition) {
  EXPECT_EQ(UdbErrorText(4), "Wrong password");
  EXPECT_EQ(UdbErrorText(50), "File lock error");
  EXPECT_EQ(UdbErrorText(40), "Error 40");
  struct Case {
    int32_t code;
    const char* message;
  };
  for (const Case& c :
       std::vector<Case>{{1, "Can not open file: F"},
                         {4, "Wrong password, file: F"},
                         {9, "Incorrect field type, file: F, table: T, field: D"},
                         {11, "Too large record size, table: T"},
                         {15, "Record not found, file: F, table: T"},
                         {23, "Value is not valid, table: T, field: D"},
                         {26, "Can not perform this operation on an open table: T, file: F"},
                         {27, "Can not perform this operation on an closed table: T, alias: F"},
                         {19, "Break operation"},
                         {40, "Error 40"}}) {
    EXPECT_EQ(EUdbError(c.code, "F", "T", "D").Message(), c.message) << c.code;
  }
  const EUdbError cut(13, "F", std::string(30, 't'), std::string(40, 'd'));
  EXPECT_EQ(cut.ErrorTable().size(), 24u);
  EXPECT_EQ(cut.ErrorField().size(), 32u);
  EXPECT_STREQ(cut.ClassName(), "EUdbError");
}

int32_t CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EUdbError& error) {
    return error.Code();
  }
  return 0;
}

TableSpec SmallTable(std::string name = "PEOPLE") {
  return TableSpec{.name = std::move(name),
                   .key_field_count = 1,
                   .fields = {Field("ID", UdbType::Int32), TextField("NAME", 20)},
                   .rows = {Row{int64_t{1}, std::string("Al")}, Row{int64_t{2}, std::string("Bea")},
                            Row{int64_t{3}, std::string("Cy")}}};
}

struct Written {
  explicit Written(UdbDescription d) : description(std::move(d)) {
    layout = WriteUdbFile(path, description);
  }
  TempDirectory directory;
  std::string path = directory.File("set.udb");
  UdbDescription description;
  UdbFileLayout layout;
};

UdbDescription OneTable(TableSpec table, std::string password = "pw") {
  UdbDescription description;
  description.password = std::move(password);
  description.tables.push_back(std::move(table));
  return description;
}

TEST(UdbFileTest, AliasRegistryFindsWithoutCaseAndRejectsASecondHolder) {
  TComponent owner(nullptr);
  owner.SetName("Owner");
  TUdbFile first(&owner);
  first.SetName("First");
  first.SetAlias("Sales");
  EXPECT_EQ(TUdbFile::FindByAlias("sALES"), &first);
  EXPECT_EQ(TUdbFile::FindByAlias(""), nullptr);
  TUdbFile second(nullptr);
  second.SetAlias("Old");
  try {
    second.SetAlias("SALES");
    FAIL();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Alias <SALES> already exist: Owner.First");
  }
  EXPECT_EQ(second.Alias(), "Old");
}

TEST(UdbFileTest, OpenErrorsNameTheFile) {
  TempDirectory directory;
  OpenSet missing(directory.File("none.udb"), "", TOpenMode::Share, false);
  try {
    missing.file.Open();
    FAIL();
  } catch (const EUdbError& error) {
    EXPECT_EQ(error.Code(), 1);
    EXPECT_EQ(error.Message(), "Can not open file: " + directory.File("none.udb"));
  }
  EXPECT_FALSE(missing.file.Active());
}

TEST(UdbFileTest, ChangesWhileOpenAndCatalogueLookups) {
  Written written(OneTable(SmallTable()));
  OpenSet set(written.path, "pw");
  try {
    set.file.SetPassword("x");
    FAIL();
  } catch (const EUdbError& error) {
    EXPECT_EQ(error.Code(), 6);
    EXPECT_EQ(error.Message(), UdbErrorText(6) + ": " + written.path);
  }
  EXPECT_EQ(CodeOf([&] { set.file.SetMode(TOpenMode::Exclusive); }), 6);
  EXPECT_EQ(set.file.Mode(), 0);
  EXPECT_EQ(set.file.TableIndex("people"), 0);
  EXPECT_EQ(CodeOf([&] { set.file.TableIndex("PEOPLEX"); }), 13);
  try {
    set.file.GetTableInfo(1);
    FAIL();
  } catch (const EUdbError& error) {
    EXPECT_EQ(error.Code(), 13);
    EXPECT_EQ(error.ErrorTable(), "N 1");
  }
  const TUdbCatalogueEntry entry = set.file.GetTableInfo(0);
  EXPECT_EQ(entry.name, "PEOPLE");
  EXPECT_EQ(entry.page_size, 4096);
  EXPECT_EQ(entry.key_field_count, 1);
}

TEST(UdbFileTest, LongTableNamesCompareByTheirFirst24Characters) {
  Written written(OneTable(SmallTable(std::string(24, 'A'))));
  OpenSet set(written.path, "pw");
  EXPECT_EQ(set.file.TableIndex(std::string(24, 'a') + "MORE"), 0);
}

TEST(UdbFileTest, HeaderChecksGiveTheirCodesAndLeaveNoHandle) {
  Written written(OneTable(SmallTable()));
  EXPECT_EQ(CodeOf([&] { OpenSet(written.path, "wrong"); }), 4);
  EXPECT_EQ(CodeOf([&] { OpenSet(written.path, "**RAWPAGES**"); }), 3);
  EditUdbHeader(written.path, written.description, [](std::vector<uint8_t>& h) { h[8] = 4; });
  EXPECT_EQ(CodeOf([&] { OpenSet(written.path, "pw"); }), 5);
  std::string bytes = tabshift::testing::ReadWholeFile(written.path);
  bytes[0] = 0x68;
  tabshift::testing::WriteWholeFile(written.path, bytes);
  EXPECT_EQ(CodeOf([&] { OpenSet(written.path, "pw", TOpenMode::Exclusive); }), 2);
  // No handle stays behind: an exclusive open of the file succeeds.
  platform::File probe;
  EXPECT_TRUE(probe.Open(written.path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                         platform::FileCreation::OpenExisting));
}

TEST(UdbFileTest, TapeFileGetsTheNextNumber) {
  Written written(OneTable(SmallTable()));
  TempDirectory tapes;
  tabshift::testing::WriteWholeFile(tapes.File("00000007.tape"), "");
  tabshift::testing::WriteWholeFile(tapes.File("notanumber.tape"), "");
  OpenSet set(written.path, "pw", TOpenMode::Share, false);
  set.file.SetTapePath(tapes.path() + "/");
  set.file.Open();
  EXPECT_TRUE(platform::FileExists(tapes.File("00000008.tape")));
  EXPECT_TRUE(set.file.Engine().Tape().IsOpen());
  set.file.Close();
  EXPECT_FALSE(set.file.Engine().Tape().IsOpen());
}

TEST(UdbTableTest, WalkAndStateRules) {
  UdbDescription description = OneTable(SmallTable());
  description.tables.push_back(TableSpec{.name = "EMPTY", .fields = {Field("X", UdbType::Int32)}});
  Written written(description);
  OpenSet set(written.path, "pw");
  auto table = set.Table("people");
  EXPECT_EQ(table->TableName(), "PEOPLE");
  std::vector<int64_t> positions;
  while (table->FetchNext()) positions.push_back(table->Position());
  EXPECT_EQ(positions, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(CodeOf([&] { table->SetTableName("X"); }), 26);

  auto empty = set.Table("EMPTY");
  EXPECT_TRUE(empty->Eof());
  EXPECT_FALSE(empty->FetchNext());
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_EQ(empty->Fields(0).AsInteger(), 0);
  EXPECT_EQ(empty->Fields(0).AsString(), "");
  int32_t data = 0;
  EXPECT_EQ(CodeOf([&] { empty->Fields(0).GetData(&data); }), 15);

  TUdbTable closed(nullptr);
  closed.SetAlias("SomeAlias");
  closed.SetTableName("T");
  try {
    closed.TableVersion();
    FAIL();
  } catch (const EUdbError& error) {
    EXPECT_EQ(error.Code(), 27);
    EXPECT_EQ(error.Message(), UdbErrorText(27) + ": T, alias: SomeAlias");
  }
  TUdbTable unknown(nullptr);
  unknown.SetAlias("nowhere");
  try {
    unknown.Open();
    FAIL();
  } catch (const EUdbError&) {
    FAIL();
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Alias <nowhere> not found. Table: ");
  }
  TUdbTable missing(nullptr);
  missing.SetAlias(set.file.Alias());
  missing.SetTableName("NOPE");
  EXPECT_EQ(CodeOf([&] { missing.Open(); }), 13);
  EXPECT_EQ(missing.FileSet(), &set.file);
  set.file.Close();
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(missing.FileSet(), nullptr);
}

TEST(UdbFieldTest, ConversionsOfSingleValues) {
  TableSpec described{.name = "V",
                      .fields = {TextField("T", 10), Field("D", UdbType::Double),
                                 Field("DAY", UdbType::Date), Field("I64", UdbType::Int64)},
                      .rows = {Row{std::string("12abc"), 2.5, Date{36526}, int64_t{-5000000000}},
                               Row{std::string(" 42"), 3.5, Date{0}, int64_t{7}},
                               Row{std::string("-7"), 1e20, Date{401768}, int64_t{-1}}},
                      .keep_row_order = true};
  Written written(OneTable(described));
  OpenSet set(written.path, "pw");
  auto table = set.Table("V");
  TUdbField& text = table->Fields(0);
  TUdbField& real = table->Fields(1);
  TUdbField& day = table->Fields(2);
  TUdbField& large = table->Fields(3);
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(text.AsInteger(), 0);
  EXPECT_EQ(real.AsInteger(), 2);
  EXPECT_EQ(real.AsString(), "2.5");
  EXPECT_EQ(day.AsString(), "01.01.2000");
  EXPECT_EQ(large.AsLargeint(), -5000000000);
  EXPECT_EQ(large.AsString(), "-5000000000");
  EXPECT_THROW(text.AsFloat(), EConvertError);
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(text.AsInteger(), 42);
  EXPECT_EQ(real.AsInteger(), 4);
  EXPECT_EQ(day.AsString(), "30.12.1899");
  ASSERT_TRUE(table->FetchNext());
  EXPECT_EQ(text.AsLargeint(), -7);
  EXPECT_EQ(real.AsInteger(), 2147483647);
  EXPECT_EQ(real.AsString(), "1E20");
  EXPECT_EQ(day.AsString(), "31.12.2999");
}

// Every type code, in every format version, under both decoders, read back value for value.
class UdbReadBackTest : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(UdbReadBackTest, EveryTypeReadsBackThroughTheComponents) {
  const auto [version, plain] = GetParam();
  std::string big(70000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  TableSpec all{.name = "ALLTYPES",
                .key_field_count = 1,
                .fields = {Field("U8", UdbType::UInt8), Field("I16", UdbType::Int16),
                           Field("I32", UdbType::Int32), Field("DBL", UdbType::Double),
                           Field("DAY", UdbType::Date), TextField("TXT", 40), BytesField("BIN", 5),
                           Field("BLOB", UdbType::Blob), Field("I64", UdbType::Int64)}};
  for (int i = 0; i < 120; ++i) {
    std::string blob =
        i == 1 ? big : std::string(static_cast<size_t>(i * 13 % 300), char('a' + i % 26));
    all.rows.push_back(Row{int64_t{i % 256}, int64_t{-250 * i}, int64_t{100000 * i - 7},
                           i * 0.25 - 3.0, Date{36000 + i}, "name " + std::to_string(i),
                           std::string("\x01\x02\x03", 3), BlobValue{blob},
                           int64_t{i} * 3000000000LL - 1});
  }
  TableSpec zero_page = SmallTable("ZEROPAGE");
  zero_page.page_size = 0;
  TableSpec offset_blob{.name = "PLACED",
                        .fields = {Field("B", UdbType::Blob)},
                        .rows = {Row{BlobValue{std::string(5000, 'x'), 4097u}}}};
  UdbDescription description;
  description.format_version = static_cast<uint16_t>(version);
  description.decoder = plain ? DecoderKind::Plain : DecoderKind::Cipher;
  description.password = plain ? "" : "secret";
  description.tables = {all, zero_page, offset_blob};
  Written written(description);
  OpenSet set(written.path, plain ? "**RAWPAGES**" : "secret");
  EXPECT_EQ(set.file.Engine().FormatVersion(), version);
  for (const TableSpec& described : description.tables) {
    SCOPED_TRACE(described.name);
    auto table = set.Table(described.name);
    ExpectRows(*table, described.fields, StoredRows(described));
  }
  EXPECT_EQ(set.file.GetTableInfo(1).page_size, 4096);
  EXPECT_FALSE(set.file.Engine().Modified());
}

INSTANTIATE_TEST_SUITE_P(VersionsAndDecoders, UdbReadBackTest,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3),
                                            ::testing::Values(false, true)));

TEST(UdbLowTest, RecordAndBlobPositions) {
  TableSpec described{.name = "R", .fields = {BytesField("B", 92), Field("L", UdbType::Blob)}};
  for (int i = 0; i < 100; ++i) {
    described.rows.push_back(
        Row{std::string(1, char(i)), BlobValue{std::string(8000, char(i)), {}}});
  }
  described.keep_row_order = true;
  Written written(OneTable(described));
  OpenSet set(written.path, "pw");
  TUdbFileEngine& engine = set.file.Engine();
  EXPECT_EQ(engine.Table(0).RecordsPerPage(), 40u);
  const uint8_t* bytes = nullptr;
  ASSERT_EQ(engine.FieldValue(0, 0, 85, bytes), 0);
  EXPECT_EQ(bytes[0], 85);
  EXPECT_EQ(engine.Table(0).SlotData(engine.Table(0).LastLoadedSlot()) + 506, bytes);
  EXPECT_EQ(engine.FieldValue(0, 2, 0, bytes), 14);
  EXPECT_EQ(engine.FieldValue(1, 0, 0, bytes), 13);
  EXPECT_EQ(engine.FieldValue(0, 0, 100, bytes), 15);
  uint8_t out[16];
  uint32_t done = 0;
  EXPECT_EQ(engine.PartialRead(0, 0, 3, 90, 16, out, done), 0);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(engine.PartialRead(0, 1, 3, 7990, 16, out, done), 0);
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(engine.PartialRead(0, 1, 3, 9000, 16, out, done), 0);
  EXPECT_EQ(done, 0u);
}

// A memory stream that remembers the size of every write, to see how a value was handed over.
class ChunkRecordingStream : public TMemoryStream {
 public:
  size_t Write(const void* buffer, size_t count) override {
    chunks.push_back(count);
    return TMemoryStream::Write(buffer, count);
  }
  std::vector<size_t> chunks;
};

TEST(UdbFieldTest, ReadBlobHandsOverA70000ByteBlobIn32768ByteChunks) {
  std::string blob(70000, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 131 + i / 4093);
  TableSpec described{.name = "B",
                      .fields = {Field("ID", UdbType::Int32), Field("DATA", UdbType::Blob)},
                      .rows = {Row{int64_t{1}, BlobValue{std::string(10, 'x'), {}}},
                               Row{int64_t{2}, BlobValue{blob, {}}}}};
  Written written(OneTable(described));
  OpenSet set(written.path, "pw");
  auto table = set.Table("B");
  ASSERT_TRUE(table->FetchNext());
  ASSERT_TRUE(table->FetchNext());
  ChunkRecordingStream stream;
  table->Fields(1).ReadBlob(stream);
  EXPECT_EQ(stream.chunks, (std::vector<size_t>{32768, 32768, 4464}));
  ASSERT_EQ(stream.Size(), 70000);
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(stream.Memory()), 70000) == blob);
}

// Another writer keeps changing the stored checksum of a data page between two wrong values
// while the reader reads the page: a second read unlike the first gives 17, a second read like
// the first 20. Both wrong values differ from the true checksum in their low byte, so no
// mixture of them read halfway through a write can pass.
TEST(UdbLowTest, ABlockWhoseTwoReadsDisagreeGives17) {
  UdbDescription description = OneTable(SmallTable(), "");
  description.decoder = DecoderKind::Plain;
  Written written(description);
  const uint32_t page = written.layout.tables[0].data_pages[0];
  const uint32_t size = written.layout.tables[0].page_size;
  const std::array<uint16_t, 2> wrong{PlainDecoder::kChecksum ^ 0x0101,
                                      PlainDecoder::kChecksum ^ 0x0202};
  platform::File writer;
  ASSERT_TRUE(writer.Open(written.path, platform::FileAccess::ReadWrite,
                          platform::FileShare::ReadWrite, platform::FileCreation::OpenExisting));
  const auto store_wrong = [&](size_t which) {
    uint8_t stored[2];
    low::Put16(stored, wrong[which % 2]);
    return writer.WriteAt(page, stored, sizeof stored) == 2;
  };
  ASSERT_TRUE(store_wrong(0));
  std::atomic<bool> stop{false};
  std::thread flipper([&] {
    for (size_t i = 1; !stop; ++i) store_wrong(i);
  });
  OpenSet set(written.path, "**RAWPAGES**");
  TUdbFileEngine& engine = set.file.Engine();
  std::vector<uint8_t> buffer(size);
  std::map<int32_t, int> results;
  const uint64_t give_up = platform::TickCount() + 20000;
  while (results.count(kUdbReadError) == 0 && platform::TickCount() < give_up) {
    ++results[engine.BlockRead(page, buffer.data(), size)];
  }
  stop = true;
  flipper.join();
  EXPECT_EQ(results.count(kUdbReadError), 1u);
  for (const auto& [code, count] : results) {
    EXPECT_TRUE(code == kUdbReadError || code == kUdbPageCorrupted) << code;
  }
  EXPECT_EQ(engine.BlockRead(page, buffer.data(), size), kUdbPageCorrupted);
  EXPECT_FALSE(engine.Modified());
}

TEST(UdbLowTest, TheNinthDistinctPageReusesTheSlotAfterTheLastLoaded) {
  TableSpec described{.name = "P", .page_size = 512, .fields = {BytesField("B", 100)}};
  for (int i = 0; i < 60; ++i) described.rows.push_back(Row{std::string(1, char(i))});
  Written written(OneTable(described));
  OpenSet set(written.path, "pw");
  TUdbTableEngine& table = set.file.Engine().Table(0);
  int slot = -1;
  std::vector<int> slots;
  for (uint32_t page = 0; page < 9; ++page) {
    ASSERT_EQ(table.LoadPage(0, page, slot), 0);
    slots.push_back(slot);
  }
  EXPECT_EQ(slots, (std::vector<int>{7, 6, 5, 4, 3, 2, 1, 0, 1}));
}

// Without a page index block the data chain is found by walking it; a walk that starts from a
// page already in the cache takes its next-page offset from there.
TEST(UdbLowTest, JumpingReadsFollowAnInterleavedChainWithoutAPageIndex) {
  TempDirectory directory;
  const std::string path = directory.File("walk.udb");
  SyntheticOptions options;
  options.rows = 2000;
  options.tables = 2;
  options.password = "pw";
  options.page_index = PageIndexMode::Never;
  const UdbFileLayout layout = WriteSyntheticFile(path, options);
  OpenSet set(path, "pw");
  TUdbFileEngine& engine = set.file.Engine();
  const uint32_t records = layout.tables[0].record_count;
  // Onwards in steps of one page or more, each step followed by a jump back that evicts slots.
  std::vector<uint32_t> order;
  for (uint32_t r = 0; r < records; r += 41 + r % 97) {
    order.push_back(r);
    order.push_back(r * 7919 % (r + 1));
  }
  for (uint32_t record : order) {
    const uint8_t* bytes = nullptr;
    ASSERT_EQ(engine.FieldValue(0, 0, record, bytes), kUdbOk);
    ASSERT_EQ(low::Get32(bytes), IntegerOf(SyntheticRow(options, 0, record)[0])) << record;
  }
  const std::vector<uint32_t>& pages = layout.tables[0].data_pages;
  ASSERT_GT(pages.size(), 40u);
  for (uint32_t page = 0; page < pages.size(); ++page) {
    uint32_t offset = 0;
    ASSERT_EQ(engine.Table(0).PageOffset(0, page, offset), kUdbOk);
    EXPECT_EQ(offset, pages[page]) << page;
  }
  EXPECT_FALSE(engine.Modified());
}

}  // namespace
}  // namespace tabshift::udb::testing

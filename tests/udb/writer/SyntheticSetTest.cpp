#include <gtest/gtest.h>

#include <algorithm>

#include "CsvExport.h"
#include "SyntheticSet.h"
#include "UdbFileChecks.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

namespace tabshift::udbgen {
namespace {

using tabshift::testing::ReadWholeFile;
using tabshift::testing::RunProgram;
using tabshift::testing::TempDirectory;

SyntheticOptions SmallSet() {
  SyntheticOptions options;
  options.rows = 3000;
  options.tables = 5;
  options.seed = 11;
  options.password = "sample";
  return options;
}

UdbDescription WithRows(const SyntheticOptions& options) {
  UdbDescription description = SyntheticCatalogue(options);
  for (uint32_t t = 0; t < options.tables; ++t) {
    for (uint64_t i = 0; i < SyntheticRowCount(options, t); ++i) {
      description.tables[t].rows.push_back(SyntheticRow(options, t, i));
    }
  }
  return description;
}

TEST(SyntheticSetTest, TheFileHoldsTheGeneratedRowsInKeyOrderWithInterleavedPages) {
  TempDirectory directory;
  const SyntheticOptions options = SmallSet();
  const std::string path = directory.File("set.udb");
  const UdbFileLayout layout = WriteSyntheticFile(path, options);
  const UdbDescription description = WithRows(options);
  for (const TableSpec& table : description.tables) {
    ASSERT_EQ(StoredRows(table).size(), table.rows.size());
    EXPECT_TRUE(std::equal(table.rows.begin(), table.rows.end(), StoredRows(table).begin()))
        << table.name << " rows are generated in key order";
  }
  testing::ExpectFileHolds(testing::UdbFileView(path, description), description, layout);
  // Data pages of the first table are not one contiguous run: other tables' pages lie between.
  const std::vector<uint32_t>& pages = layout.tables[0].data_pages;
  ASSERT_GT(pages.size(), 2u);
  EXPECT_NE(pages.back() - pages.front(), (pages.size() - 1) * 4096);
}

TEST(SyntheticSetTest, CoversEveryTypeCodeAndBlobsUpToHundredsOfKilobytes) {
  SyntheticOptions options = SmallSet();
  options.rows = 10000;
  const UdbDescription catalogue = SyntheticCatalogue(options);
  std::vector<bool> types(9, false);
  for (const TableSpec& table : catalogue.tables) {
    for (const FieldSpec& field : table.fields) types[static_cast<size_t>(field.type)] = true;
  }
  EXPECT_EQ(std::count(types.begin(), types.end(), true), 9);
  size_t smallest = SIZE_MAX;
  size_t largest = 0;
  for (uint64_t i = 0; i < SyntheticRowCount(options, 2); ++i) {
    const size_t length = std::get<std::string>(SyntheticRow(options, 2, i)[3]).size();
    smallest = std::min(smallest, length);
    largest = std::max(largest, length);
  }
  EXPECT_EQ(smallest, 0u);
  EXPECT_GE(largest, 300000u);
  EXPECT_EQ(catalogue.tables[1].page_size, 0);  // stored 0, meaning 4096
}

TEST(SyntheticSetTest, TheSameSeedGivesTheSameFileAndAnotherSeedAnotherOne) {
  TempDirectory directory;
  SyntheticOptions options = SmallSet();
  WriteSyntheticFile(directory.File("a.udb"), options);
  WriteSyntheticFile(directory.File("b.udb"), options);
  options.seed = 12;
  WriteSyntheticFile(directory.File("c.udb"), options);
  EXPECT_EQ(ReadWholeFile(directory.File("a.udb")), ReadWholeFile(directory.File("b.udb")));
  EXPECT_NE(ReadWholeFile(directory.File("a.udb")), ReadWholeFile(directory.File("c.udb")));
}

TEST(CsvExportTest, WritesValuesInTheDumpForm) {
  const std::vector<FieldSpec> fields = {Field("I", UdbType::Int32),  TextField("T", 20),
                                         Field("R", UdbType::Double), Field("D", UdbType::Date),
                                         BytesField("B", 3),          Field("DOC", UdbType::Blob),
                                         Field("L", UdbType::Int64),  Field("U", UdbType::UInt8)};
  const Row row = {int64_t{-5},
                   std::string("say \"hi\", ok"),
                   2.5,
                   Date{36526},
                   std::string("\x01\xAB"),
                   std::string(70000, 'x'),
                   int64_t{1} << 40,
                   int64_t{255}};
  EXPECT_EQ(CsvHeader(fields), "I,T,R,D,B,DOC,L,U\n");
  EXPECT_EQ(CsvLine(fields, row),
            "-5,\"say \"\"hi\"\", ok\",2.5,01.01.2000,01AB00,70000,1099511627776,255\n");
  EXPECT_EQ(DayText(0), "30.12.1899");
  EXPECT_EQ(DayText(60), "28.02.1900");
  EXPECT_EQ(DayText(61), "01.03.1900");
  EXPECT_EQ(DayText(401768), "31.12.2999");
  for (const int32_t day : {1, 59, 36525, 73050, 200000, 401767}) {
    const std::string text = DayText(day);
    EXPECT_EQ(DateOf(std::stoi(text.substr(6)), std::stoi(text.substr(3, 2)),
                     std::stoi(text.substr(0, 2)))
                  .day,
              day);
  }
}

TEST(UdbgenProgramTest, WritesTheFileAndItsCsvAndReportsBadOptions) {
  TempDirectory directory;
  const auto result = RunProgram(UDBGEN_BINARY,
                                 {"--out", "set.udb", "--csv", "csv", "--rows", "3000", "--tables",
                                  "5", "--seed", "11", "--password", "sample"},
                                 directory.path());
  ASSERT_EQ(result.exit_code, 0) << result.errors;
  EXPECT_NE(result.output.find("ITEMS      rows 3000"), std::string::npos) << result.output;
  TempDirectory reference;
  WriteSyntheticFile(reference.File("set.udb"), SmallSet());
  EXPECT_EQ(ReadWholeFile(directory.File("set.udb")), ReadWholeFile(reference.File("set.udb")));
  const std::string items = ReadWholeFile(directory.File("csv/ITEMS.csv"));
  const SyntheticOptions options = SmallSet();
  const UdbDescription catalogue = SyntheticCatalogue(options);
  std::string expected = CsvHeader(catalogue.tables[0].fields);
  for (uint64_t i = 0; i < SyntheticRowCount(options, 0); ++i) {
    expected += CsvLine(catalogue.tables[0].fields, SyntheticRow(options, 0, i));
  }
  EXPECT_EQ(items, expected);
  EXPECT_FALSE(ReadWholeFile(directory.File("csv/ITEMS4.csv")).empty());
  const auto printed = RunProgram(
      UDBGEN_BINARY,
      {"--print", "items", "--rows", "3000", "--tables", "5", "--seed", "11", "--out", "again.udb"},
      directory.path());
  EXPECT_EQ(printed.exit_code, 0) << printed.errors;
  EXPECT_EQ(printed.output, expected);
  EXPECT_NE(printed.errors.find("again.udb: "), std::string::npos) << printed.errors;

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--rows", "many", "--out", "x.udb"},
        std::vector<std::string>{"--out", "x.udb", "--format-version", "4"},
        std::vector<std::string>{"--out", "x.udb", "--tables", "0"},
        std::vector<std::string>{"--bogus", "1"}, std::vector<std::string>{"--rows", "5"},
        std::vector<std::string>{"--print", "NOSUCH"}}) {
    const auto failed = RunProgram(UDBGEN_BINARY, bad, directory.path());
    EXPECT_EQ(failed.exit_code, 1) << bad[0];
    EXPECT_EQ(failed.errors.rfind("udbgen: ", 0), 0u) << failed.errors;
  }
}

}  // namespace
}  // namespace tabshift::udbgen

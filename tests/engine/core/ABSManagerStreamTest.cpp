#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"
#include "framework/Stream.h"
#include "support/TempDirectory.h"

namespace tabshift::testing {
namespace {

// INTEGER, STRING(40), BLOB and an autoincrement field counting 45, 50, ...
struct SampleFields {
  SampleFields() {
    AddField(defs, "I", adtInteger);
    AddField(defs, "S", adtString, 40);
    AddField(defs, "B", adtBlob);
    TABSFieldDef& id = AddField(defs, "ID", adtAutoIncLargeInt);
    id.AutoincInitialValue = 40;
    id.AutoincIncrement = 5;
  }
  TABSFieldDefs defs;
};

std::vector<uint8_t> Bytes(TMemoryStream& stream) {
  return {stream.Memory(), stream.Memory() + stream.Size()};
}

void Fill(TMemoryStream& stream, const std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) stream.Write(bytes.data(), bytes.size());
  stream.Seek(0, SeekOrigin::Beginning);
}

class ManagerStreamTest : public ::testing::Test {
 protected:
  ManagerStreamTest() : table_("Streamed", SampleFields().defs) {}

  TABSBaseFieldManager& Fields() { return table_.Fields(); }

  TempDirectory directory_;
  MemoryTable table_;
};

TEST_F(ManagerStreamTest, DefinitionsRoundTripThroughAFileAndLayTheRecordOutAgain) {
  Fields().NextAutoincValue(3);
  const std::string path = directory_.File("fields.bin");
  {
    TFileStream out(path, platform::FileAccess::Write, platform::FileShare::None,
                    platform::FileCreation::CreateAlways);
    Fields().SaveToStream(out);
  }
  TABSBaseFieldManager loaded(nullptr);
  {
    TFileStream in(path, platform::FileAccess::Read, platform::FileShare::Read,
                   platform::FileCreation::OpenExisting);
    loaded.LoadFromStream(in);
    EXPECT_EQ(in.Position(), in.Size());
  }
  ASSERT_EQ(loaded.FieldDefs().Count(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(loaded.FieldDefs().Item(i).Equals(Fields().FieldDefs().Item(i))) << i;
  }
  EXPECT_EQ(loaded.FieldDefs().Item(2).BufferOffset, 46);
  EXPECT_EQ(loaded.FieldDefs().Item(3).BufferOffset, 56);
  EXPECT_EQ(loaded.FieldDefs().Item(3).StoredOffset, 52);
  EXPECT_EQ(loaded.RecordBufferSize(), Fields().RecordBufferSize());
  EXPECT_EQ(loaded.StoredRecordSize(), Fields().StoredRecordSize());
  EXPECT_EQ(loaded.AutoincCounters(), (std::vector<int64_t>{0, 0, 0, 40}));
}

TEST_F(ManagerStreamTest, CountersAreACountAndLittleEndianValues) {
  Fields().NextAutoincValue(3);
  Fields().NextAutoincValue(3);
  TMemoryStream stream;
  Fields().SaveAutoincCounters(stream);
  std::vector<uint8_t> expected = {4, 0, 0, 0};
  for (const int64_t value : {int64_t{0}, int64_t{0}, int64_t{0}, int64_t{50}}) {
    for (int shift = 0; shift < 64; shift += 8) {
      expected.push_back(static_cast<uint8_t>(static_cast<uint64_t>(value) >> shift));
    }
  }
  EXPECT_EQ(Bytes(stream), expected);

  const std::string path = directory_.File("counters.bin");
  {
    TFileStream out(path, platform::FileAccess::Write, platform::FileShare::None,
                    platform::FileCreation::CreateAlways);
    Fields().SaveAutoincCounters(out);
  }
  TABSBaseFieldManager loaded(nullptr);
  loaded.SetFieldDefs(Fields().FieldDefs());
  TFileStream in(path, platform::FileAccess::Read, platform::FileShare::Read,
                 platform::FileCreation::OpenExisting);
  loaded.LoadAutoincCounters(in);
  EXPECT_EQ(loaded.AutoincCounters(), Fields().AutoincCounters());
  EXPECT_EQ(loaded.NextAutoincValue(3), 55);
}

// Every cut of a stored definition list ends in a coded read error; the manager then holds
// the definitions read so far, laid out.
TEST_F(ManagerStreamTest, TruncatedDefinitionsFailWithTheirReadCode) {
  TMemoryStream stream;
  Fields().SaveToStream(stream);
  const std::vector<uint8_t> whole = Bytes(stream);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    TMemoryStream part;
    Fill(part, {whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)});
    TABSBaseFieldManager loaded(nullptr);
    try {
      loaded.LoadFromStream(part);
      ADD_FAILURE() << "no error at cut " << cut;
    } catch (const EABSException& error) {
      EXPECT_NE(error.Message().find("Cannot read from stream"), std::string::npos) << cut;
    }
    int32_t expected_size = loaded.NullBitmapSize();
    for (int i = 0; i < loaded.FieldDefs().Count(); ++i) {
      expected_size += loaded.FieldDefs().Item(i).BufferSize;
    }
    EXPECT_EQ(loaded.RecordBufferSize(), expected_size) << cut;
    EXPECT_EQ(loaded.AutoincCounters().size(), static_cast<size_t>(loaded.FieldDefs().Count()));
  }
}

TEST_F(ManagerStreamTest, AbsurdDefinitionCountsFailWithoutAllocating) {
  for (const int32_t count : {std::numeric_limits<int32_t>::max(), -1}) {
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &count, 4);
    TMemoryStream stream;
    Fill(stream, bytes);
    TABSBaseFieldManager loaded(nullptr);
    EXPECT_ENGINE_CODE(loaded.LoadFromStream(stream), count < 0 ? 10159 : 10166);
    EXPECT_EQ(loaded.FieldDefs().Count(), 0);
  }
}

struct CounterCase {
  const char* name;
  std::vector<uint8_t> bytes;
  int32_t code;
};

std::vector<uint8_t> CounterBytes(int32_t count, size_t values) {
  std::vector<uint8_t> bytes(4 + values * 8, 0x11);
  std::memcpy(bytes.data(), &count, 4);
  return bytes;
}

class MalformedCounters : public ::testing::TestWithParam<CounterCase> {};

TEST_P(MalformedCounters, FailWithACodeAndChangeNothing) {
  MemoryTable table("Counters", SampleFields().defs);
  TABSBaseFieldManager& fields = table.Fields();
  fields.NextAutoincValue(3);
  const std::vector<int64_t> before = fields.AutoincCounters();
  TMemoryStream stream;
  Fill(stream, GetParam().bytes);
  EXPECT_ENGINE_CODE(fields.LoadAutoincCounters(stream), GetParam().code);
  EXPECT_EQ(fields.AutoincCounters(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedCounters,
    ::testing::Values(CounterCase{"Empty", {}, 10159}, CounterCase{"CutCount", {4, 0}, 10159},
                      CounterCase{"CutValue", {4, 0, 0, 0, 1, 2, 3}, 30407},
                      CounterCase{"LastValueMissing", CounterBytes(4, 3), 30407},
                      CounterCase{"Negative", CounterBytes(-5, 4), 10159},
                      CounterCase{"Huge", CounterBytes(std::numeric_limits<int32_t>::max(), 4),
                                  30403},
                      CounterCase{"FewerThanFields", CounterBytes(3, 3), 30403}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ManagerStreamTest, IndexDefinitionsRoundTripWithoutTemporaryIndexes) {
  TABSIndexDefs indexes;
  TABSIndexDef& by_name = AddIndexDef(indexes, "BY_NAME", {"S", "I"});
  by_name.Unique = true;
  by_name.Columns[0].Descending = true;
  by_name.Columns[0].MaxIndexedSize = 12;
  AddIndexDef(indexes, "SCRATCH", {"I"}).Temporary = true;
  MemoryTable table("Indexed", SampleFields().defs, indexes);
  TABSBaseIndexManager& manager = *table.table->IndexManager();
  ASSERT_EQ(manager.IndexDefs().Count(), 2);

  const std::string path = directory_.File("indexes.bin");
  {
    TFileStream out(path, platform::FileAccess::Write, platform::FileShare::None,
                    platform::FileCreation::CreateAlways);
    manager.SaveToStream(out);
  }
  TABSBaseIndexManager loaded(nullptr, nullptr, nullptr);
  TFileStream in(path, platform::FileAccess::Read, platform::FileShare::Read,
                 platform::FileCreation::OpenExisting);
  loaded.LoadFromStream(in);
  ASSERT_EQ(loaded.IndexDefs().Count(), 1);
  const TABSIndexDef& back = loaded.IndexDefs().GetItem(0);
  EXPECT_TRUE(back.Equals(manager.IndexDefs().GetItem(0)));
  EXPECT_EQ(back.RootPageNo, manager.IndexDefs().GetItem(0).RootPageNo);
  EXPECT_FALSE(back.Temporary);
}

TEST_F(ManagerStreamTest, TruncatedIndexDefinitionsFailWithAReadCode) {
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "BY_NAME", {"S", "I"});
  MemoryTable table("Indexed", SampleFields().defs, indexes);
  TMemoryStream stream;
  table.table->IndexManager()->SaveToStream(stream);
  const std::vector<uint8_t> whole = Bytes(stream);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    TMemoryStream part;
    Fill(part, {whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)});
    TABSBaseIndexManager loaded(nullptr, nullptr, nullptr);
    try {
      loaded.LoadFromStream(part);
      ADD_FAILURE() << "no error at cut " << cut;
    } catch (const EABSException& error) {
      EXPECT_NE(error.Message().find("Cannot read from stream"), std::string::npos) << cut;
    }
  }
}

// Damaged stored definitions load or end in an engine error: never another exception, a
// crash or an allocation the size of an absurd count. MANAGER_DAMAGE_ROUNDS runs more rounds.
TEST_F(ManagerStreamTest, RandomDamageOfStoredDefinitionsLoadsOrEndsInAnEngineError) {
  SampleFields sample;
  sample.defs.Item(0).DefaultValue.SetAsInteger(42);
  sample.defs.Item(1).DefaultValue.SetAsString("none");
  TABSIndexDefs indexes;
  AddIndexDef(indexes, "BY_NAME", {"S", "I"}).Columns[0].Descending = true;
  MemoryTable table("Damaged", sample.defs, indexes);
  TMemoryStream fields_stream;
  table.Fields().SaveToStream(fields_stream);
  TMemoryStream indexes_stream;
  table.table->IndexManager()->SaveToStream(indexes_stream);
  const std::vector<uint8_t> stored_fields = Bytes(fields_stream);
  const std::vector<uint8_t> stored_indexes = Bytes(indexes_stream);

  const char* setting = std::getenv("MANAGER_DAMAGE_ROUNDS");
  const int rounds = setting != nullptr ? std::atoi(setting) : 400;
  std::mt19937 random(7);
  const auto damaged = [&](std::vector<uint8_t> bytes) {
    for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
      const size_t at = random() % bytes.size();
      if (random() % 2 == 0 || at + 4 > bytes.size()) {
        bytes[at] = static_cast<uint8_t>(random());
      } else {
        static constexpr uint32_t kEdges[] = {0,          1,          0xFF,      0x7FFF,
                                              0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        const uint32_t value = kEdges[random() % std::size(kEdges)];
        std::memcpy(&bytes[at], &value, 4);
      }
    }
    return bytes;
  };
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TMemoryStream fields_copy;
    Fill(fields_copy, damaged(stored_fields));
    TABSBaseFieldManager fields(nullptr);
    try {
      fields.LoadFromStream(fields_copy);
    } catch (const EABSException&) {
    }
    TMemoryStream indexes_copy;
    Fill(indexes_copy, damaged(stored_indexes));
    TABSBaseIndexManager index_manager(nullptr, nullptr, nullptr);
    try {
      index_manager.LoadFromStream(indexes_copy);
    } catch (const EABSException&) {
    }
  }
}

}  // namespace
}  // namespace tabshift::testing

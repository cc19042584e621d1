#include "SyntheticSet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "UdbStreamWriter.h"

namespace tabshift::udbgen {
namespace {

// The four kinds of table the set cycles through.
enum class Kind { Items, Partners, Documents, Totals };

Kind KindOf(uint32_t table) {
  return static_cast<Kind>(table % 4);
}

uint64_t Mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

// The random source of one row: a sequence of 64-bit values fixed by seed, table and row.
class RowRandom {
 public:
  RowRandom(uint64_t seed, uint32_t table, uint64_t index)
      : state_(Mix(Mix(seed) ^ (uint64_t{table} << 48) ^ index)) {}
  uint64_t Next() { return state_ = Mix(state_); }
  uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }

 private:
  uint64_t state_;
};

std::string RandomBytes(RowRandom& random, size_t length) {
  std::string bytes(length, '\0');
  for (size_t at = 0; at < length; at += 8) {
    const uint64_t word = random.Next();
    std::memcpy(&bytes[at], &word, std::min<size_t>(8, length - at));
  }
  return bytes;
}

std::string Numbered(const char* format, uint64_t number) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(number));
  return text;
}

// Signed cents up to 99999.99, exact in 15 significant digits.
double Money(RowRandom& random) {
  const double cents = static_cast<double>(random.Below(10000000));
  return (random.Next() & 1) != 0 ? -cents / 100.0 : cents / 100.0;
}

TableSpec Template(Kind kind) {
  switch (kind) {
    case Kind::Items:  // 100-byte records
      return TableSpec{
          .name = "ITEMS",
          .page_size = 4096,
          .key_field_count = 1,
          .fields = {Field("ID", UdbType::Int32), Field("FLAGS", UdbType::UInt8),
                     Field("QTY", UdbType::Int16), Field("PRICE", UdbType::Double),
                     Field("DAY", UdbType::Date), TextField("NAME", 56), BytesField("CODE", 8),
                     Field("DOC", UdbType::Blob), Field("SERIAL", UdbType::Int64)}};
    case Kind::Partners:
      return TableSpec{.name = "PARTNERS",
                       .page_size = 0,
                       .key_field_count = 2,
                       .fields = {TextField("NAME", 30), Field("BRANCH", UdbType::Int16),
                                  TextField("CITY", 20), Field("ACTIVE", UdbType::UInt8),
                                  Field("SINCE", UdbType::Date), Field("BALANCE", UdbType::Double),
                                  Field("LOGO", UdbType::Blob), Field("NUMBER", UdbType::Int64)}};
    case Kind::Documents:
      return TableSpec{.name = "DOCUMENTS",
                       .page_size = 8192,
                       .key_field_count = 1,
                       .fields = {Field("DOCNO", UdbType::Int64), TextField("TITLE", 60),
                                  Field("CREATED", UdbType::Date), Field("BODY", UdbType::Blob),
                                  BytesField("HASH", 16)}};
    case Kind::Totals:
      return TableSpec{.name = "TOTALS",
                       .page_size = 512,
                       .fields = {Field("YEAR", UdbType::Int16), Field("MONTH", UdbType::UInt8),
                                  Field("AMOUNT", UdbType::Double), Field("COUNT", UdbType::Int32),
                                  Field("TOTAL", UdbType::Int64)}};
  }
  return {};
}

Row ItemRow(RowRandom& random, uint64_t index) {
  const uint64_t shape = random.Below(100);
  uint64_t blob_length = shape < 70 ? 0 : 1 + random.Below(200);
  if (index % 10000 == 9999) blob_length = 100000 + random.Below(400000);
  std::string name = Numbered("Item %llu", index);
  if (index % 7 == 3) name += ", \"special\"";
  if (index % 11 == 5) name.clear();
  return {int64_t(index),
          int64_t(random.Below(256)),
          int64_t(static_cast<int16_t>(random.Next())),
          Money(random),
          Date{static_cast<int32_t>(random.Below(401769))},
          name,
          RandomBytes(random, random.Below(9)),
          RandomBytes(random, blob_length),
          static_cast<int64_t>(random.Next())};
}

Row PartnerRow(RowRandom& random, uint64_t index) {
  static const char* const kCities[] = {"Berlin", "Paris",         "Lyon; Rhone",
                                        "Graz",   "Sankt \"Ost\"", ""};
  return {Numbered("Partner %07llu", index / 3),
          int64_t(index % 3),
          std::string(kCities[random.Below(6)]),
          int64_t(random.Below(2)),
          Date{static_cast<int32_t>(36526 + random.Below(9000))},
          Money(random),
          RandomBytes(random, random.Below(10) == 0 ? random.Below(3000) : 0),
          static_cast<int64_t>(random.Next() >> 1) - INT64_C(0x3FFFFFFFFFFFFFFF)};
}

Row DocumentRow(RowRandom& random, uint64_t index) {
  static const uint64_t kFixedLengths[] = {0, 1, 32768, 65536};
  const uint64_t shape = index % 10;
  const uint64_t length = shape < 4    ? kFixedLengths[shape]
                          : shape == 4 ? 300000 + random.Below(200000)
                                       : random.Below(20000);
  return {int64_t(index * 10 + 7), Numbered("Document %llu\ttabbed", index),
          Date{static_cast<int32_t>(random.Below(401769))}, RandomBytes(random, length),
          RandomBytes(random, 16)};
}

Row TotalRow(RowRandom& random, uint64_t) {
  return {int64_t(1990 + random.Below(40)), int64_t(1 + random.Below(12)), Money(random),
          int64_t(static_cast<int32_t>(random.Next())), static_cast<int64_t>(random.Next())};
}

}  // namespace

UdbDescription SyntheticCatalogue(const SyntheticOptions& options) {
  if (options.tables < 1 || options.tables > 255) {
    throw std::invalid_argument("the table count must be 1 to 255");
  }
  UdbDescription description;
  description.format_version = options.format_version;
  description.decoder = options.decoder;
  description.password = options.password;
  for (uint32_t t = 0; t < options.tables; ++t) {
    TableSpec table = Template(KindOf(t));
    if (t >= 4) table.name += std::to_string(t);
    table.page_index = options.page_index;
    table.version = 1 + t;
    description.tables.push_back(std::move(table));
  }
  return description;
}

uint64_t SyntheticRowCount(const SyntheticOptions& options, uint32_t table) {
  const uint64_t repeat = 1 + table / 4;
  switch (KindOf(table)) {
    case Kind::Items:
      return options.rows / repeat;
    case Kind::Partners:
      return options.rows / 10 / repeat;
    case Kind::Documents:
      return std::max<uint64_t>(10, options.rows / 5000) / repeat;
    case Kind::Totals:
      return options.rows / 100 / repeat;
  }
  return 0;
}

Row SyntheticRow(const SyntheticOptions& options, uint32_t table, uint64_t index) {
  RowRandom random(options.seed, table, index);
  switch (KindOf(table)) {
    case Kind::Items:
      return ItemRow(random, index);
    case Kind::Partners:
      return PartnerRow(random, index);
    case Kind::Documents:
      return DocumentRow(random, index);
    case Kind::Totals:
      return TotalRow(random, index);
  }
  return {};
}

UdbFileLayout WriteSyntheticFile(const std::string& path, const SyntheticOptions& options) {
  // The tables are filled in turns of a few hundred rows, so their pages interleave in the file
  // and every chain has to be followed rather than assumed contiguous.
  constexpr uint64_t kTurn = 500;
  UdbStreamWriter writer(path, SyntheticCatalogue(options));
  std::vector<uint64_t> done(options.tables, 0);
  for (bool more = true; more;) {
    more = false;
    for (uint32_t t = 0; t < options.tables; ++t) {
      const uint64_t end = std::min(done[t] + kTurn, SyntheticRowCount(options, t));
      for (; done[t] < end; ++done[t]) writer.AddRow(t, SyntheticRow(options, t, done[t]));
      more = more || done[t] < SyntheticRowCount(options, t);
    }
  }
  return writer.Finish();
}

}  // namespace tabshift::udbgen

// Stored forms of field values and the key order of rows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "UdbStreamWriter.h"

namespace tabshift::udbgen {
namespace {

constexpr int32_t kLastDay = 401768;  // 31 December 2999

[[noreturn]] void Invalid(const FieldSpec& field, const std::string& what) {
  throw std::invalid_argument("field " + field.name + ": " + what);
}

uint16_t OwnSize(UdbType type) {
  switch (type) {
    case UdbType::UInt8:
      return 1;
    case UdbType::Int16:
      return 2;
    case UdbType::Int32:
    case UdbType::Date:
      return 4;
    case UdbType::Double:
    case UdbType::Blob:
    case UdbType::Int64:
      return 8;
    default:
      return 0;
  }
}

int64_t IntegerOf(const FieldSpec& field, const Value& value) {
  if (const auto* integer = std::get_if<int64_t>(&value)) return *integer;
  if (const auto* date = std::get_if<Date>(&value); date && field.type == UdbType::Date) {
    return date->day;
  }
  Invalid(field, "needs an integer value");
}

void StoreInteger(const FieldSpec& field, int64_t value, int64_t low, int64_t high, int bytes,
                  uint8_t* destination) {
  if (value < low || value > high) Invalid(field, "value out of range");
  for (int i = 0; i < bytes; ++i) {
    destination[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  }
}

double DoubleOf(const FieldSpec& field, const Value& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* integer = std::get_if<int64_t>(&value)) return static_cast<double>(*integer);
  Invalid(field, "needs a number");
}

const std::string& TextOf(const FieldSpec& field, const Value& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  Invalid(field, "needs a text");
}

template <typename T>
int Order(T left, T right) {
  return left < right ? -1 : (right < left ? 1 : 0);
}

int CompareBytes(const std::string& left, const std::string& right) {
  const int common = std::memcmp(left.data(), right.data(), std::min(left.size(), right.size()));
  return common != 0 ? (common < 0 ? -1 : 1) : Order(left.size(), right.size());
}

int CompareValues(const FieldSpec& field, const Value& left, const Value& right) {
  BlobValue left_holder;
  BlobValue right_holder;
  switch (field.type) {
    case UdbType::Double:
      return Order(DoubleOf(field, left), DoubleOf(field, right));
    case UdbType::Text:
    case UdbType::Bytes:
      return CompareBytes(TextOf(field, left), TextOf(field, right));
    case UdbType::Blob: {
      const BlobValue* left_blob = AsBlob(left, left_holder);
      const BlobValue* right_blob = AsBlob(right, right_holder);
      if (left_blob == nullptr || right_blob == nullptr) Invalid(field, "needs a BLOB");
      return CompareBytes(left_blob->bytes, right_blob->bytes);
    }
    default:
      return Order(IntegerOf(field, left), IntegerOf(field, right));
  }
}

}  // namespace

uint32_t EffectivePageSize(uint16_t stored) {
  return stored == 0 ? 4096 : stored;
}

uint16_t DeclaredSize(const FieldSpec& field) {
  const uint16_t own = OwnSize(field.type);
  if (field.type == UdbType::Text || field.type == UdbType::Bytes) {
    if (field.size == 0) Invalid(field, "text and bytes fields need a size");
    return field.size;
  }
  if (own == 0) {  // a type code outside 0 to 8, stored as given
    if (field.size == 0) Invalid(field, "an unknown type code needs a size");
    return field.size;
  }
  if (field.size != 0 && field.size != own) Invalid(field, "wrong size for its type");
  return own;
}

Date DateOf(int year, int month, int day) {
  // Days from 1 March of year 0 in the proleptic Gregorian calendar, then moved to the epoch.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const int unix_day = era * 146097 + day_of_era - 719468;
  return Date{unix_day + 25569};
}

const BlobValue* AsBlob(const Value& value, BlobValue& holder) {
  if (const auto* blob = std::get_if<BlobValue>(&value)) return blob;
  if (const auto* bytes = std::get_if<std::string>(&value)) {
    holder.bytes = *bytes;
    holder.raw_start.reset();
    return &holder;
  }
  return nullptr;
}

void StoreValue(const FieldSpec& field, const Value& value, uint8_t* destination) {
  const uint16_t size = DeclaredSize(field);
  switch (field.type) {
    case UdbType::UInt8:
      return StoreInteger(field, IntegerOf(field, value), 0, 255, 1, destination);
    case UdbType::Int16:
      return StoreInteger(field, IntegerOf(field, value), INT16_MIN, INT16_MAX, 2, destination);
    case UdbType::Int32:
      return StoreInteger(field, IntegerOf(field, value), INT32_MIN, INT32_MAX, 4, destination);
    case UdbType::Int64:
      return StoreInteger(field, IntegerOf(field, value), INT64_MIN, INT64_MAX, 8, destination);
    case UdbType::Date:
      return StoreInteger(field, IntegerOf(field, value), 0, kLastDay, 4, destination);
    case UdbType::Double: {
      const double real = DoubleOf(field, value);
      if (!std::isfinite(real)) Invalid(field, "only finite doubles can be stored");
      std::memcpy(destination, &real, 8);
      return;
    }
    case UdbType::Text: {
      const std::string& text = TextOf(field, value);
      if (text.size() > std::min<size_t>(size - 1, 255)) Invalid(field, "text too long");
      destination[0] = static_cast<uint8_t>(text.size());
      std::memcpy(destination + 1, text.data(), text.size());
      return;
    }
    case UdbType::Bytes: {
      const std::string& bytes = TextOf(field, value);
      if (bytes.size() > size) Invalid(field, "too many bytes");
      std::memcpy(destination, bytes.data(), bytes.size());
      return;
    }
    default:
      Invalid(field, "no value can be stored for this type");
  }
}

int CompareKeys(const std::vector<FieldSpec>& fields, uint8_t key_fields, const Row& left,
                const Row& right) {
  for (size_t i = 0; i < key_fields && i < fields.size(); ++i) {
    const int order = CompareValues(fields[i], left.at(i), right.at(i));
    if (order != 0) return order;
  }
  return 0;
}

}  // namespace tabshift::udbgen

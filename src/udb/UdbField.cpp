#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "framework/Format.h"
#include "udb/UdbTable.h"

namespace tabshift::udb {

using namespace low;

namespace {

constexpr size_t kMaxText = 255;
constexpr int32_t kLastValidDay = 401768;  // 31 December 2999
constexpr int64_t kUnixEpochDay = 25569;   // 1 January 1970 counted from 30 December 1899

// The general float text: up to 15 significant digits, fixed-point unless the exponent reaches
// 15 or the value is below 0.00001, otherwise "1.5E20" / "1E-6".
std::string FloatText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  const std::string text(buffer);
  const bool negative = text[0] == '-';
  const size_t mark = text.find('e');
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < mark; ++i) {
    if (text[i] != '.') digits += text[i];
  }
  int exponent = 0;
  std::from_chars(text.data() + mark + (text[mark + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string result;
  if (negative) result.push_back('-');
  if (exponent < 15 && std::fabs(value) >= 1e-5) {
    if (exponent < 0) {
      result.append("0.");
      result.append(static_cast<size_t>(-exponent - 1), '0');
      result.append(digits);
      return result;
    }
    const size_t whole = static_cast<size_t>(exponent) + 1;
    result.append(digits, 0, std::min(whole, digits.size()));
    if (digits.size() <= whole) {
      result.append(whole - digits.size(), '0');
    } else {
      result.push_back('.');
      result.append(digits, whole, std::string::npos);
    }
    return result;
  }
  result.push_back(digits[0]);
  if (digits.size() > 1) {
    result.push_back('.');
    result.append(digits, 1, std::string::npos);
  }
  result.push_back('E');
  result.append(std::to_string(exponent));
  return result;
}

// Day number counted from 30 December 1899 as "dd.mm.yyyy".
std::string DateText(int32_t day) {
  const int64_t z = day - kUnixEpochDay + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return Format("%.2d.%.2d.%.4d", {d, m, y});
}

// A signed decimal integer after optional leading blanks; 0 when the text is not one.
int32_t TextToInteger(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && static_cast<uint8_t>(text[at]) <= ' ') ++at;
  if (at < text.size() && text[at] == '+') ++at;
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + at, end, value);
  if (error != std::errc() || stop != end) return 0;
  return value;
}

int32_t RoundToInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(value));
}

double TextToFloat(const std::string& text) {
  size_t at = 0;
  while (at < text.size() && static_cast<uint8_t>(text[at]) <= ' ') ++at;
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + at, end, value);
  if (at == text.size() || error != std::errc() || stop != end) {
    throw EConvertError("Could not convert variant of type (String) into type (Double)");
  }
  return value;
}

}  // namespace

TUdbField::TUdbField(TUdbTable& table, int position)
    : TComponent(&table), table_(table), position_(position) {
  TUdbTableEngine& engine =
      table.FileSet()->Engine().Table(static_cast<size_t>(table.TableIndexInFile()));
  const auto& fields = engine.Info().fields;
  if (static_cast<size_t>(position) >= fields.size()) Check(kUdbFieldNotFound);
  const TUdbFieldInfo& info = fields[static_cast<size_t>(position)];
  name_ = info.name.substr(0, kMaxFieldName);
  type_ = info.type;
  size_ = info.size;
}

void TUdbField::Check(int32_t code) {
  table_.Check(code, name_);
}

bool TUdbField::RangeEmpty() const {
  return table_.RangeEmpty();
}

void TUdbField::ReadValue(uint8_t* bytes, size_t room) {
  std::memset(bytes, 0, room);
  TUdbFile* file = table_.FileSet();
  if (file == nullptr) Check(kUdbTableClosed);
  const uint8_t* stored = nullptr;
  Check(file->Engine().FieldValue(static_cast<uint32_t>(table_.TableIndexInFile()),
                                  static_cast<uint32_t>(position_), table_.RecordNumber(), stored));
  std::memcpy(bytes, stored, std::min<size_t>(room, size_));
}

std::string TUdbField::StoredText() {
  uint8_t bytes[kMaxText + 1];
  ReadValue(bytes, sizeof bytes);
  const size_t length = std::min<size_t>(bytes[0], size_ == 0 ? 0 : size_ - 1u);
  return std::string(reinterpret_cast<const char*>(bytes + 1), length);
}

int32_t TUdbField::AsInteger() {
  if (RangeEmpty()) return 0;
  if (type_ == 5) return TextToInteger(StoredText());
  uint8_t bytes[8];
  ReadValue(bytes, sizeof bytes);
  switch (type_) {
    case 0:
    case 6:
      return bytes[0];
    case 1:
      return static_cast<int16_t>(Get16(bytes));
    case 2:
    case 4:
    case 7:
    case 8:
      return static_cast<int32_t>(Get32(bytes));
    case 3: {
      double value = 0;
      std::memcpy(&value, bytes, sizeof value);
      return RoundToInteger(value);
    }
    default:
      Check(kUdbIncorrectFieldType);
      return 0;
  }
}

std::string TUdbField::AsString() {
  if (RangeEmpty()) return "";
  if (type_ == 5) return StoredText();
  if (type_ == 6) return "<Binary data>";
  uint8_t bytes[8];
  ReadValue(bytes, sizeof bytes);
  std::string text;
  switch (type_) {
    case 0:
      text = std::to_string(bytes[0]);
      break;
    case 1:
      text = std::to_string(static_cast<int16_t>(Get16(bytes)));
      break;
    case 2:
      text = std::to_string(static_cast<int32_t>(Get32(bytes)));
      break;
    case 3: {
      double value = 0;
      std::memcpy(&value, bytes, sizeof value);
      text = FloatText(value);
      break;
    }
    case 4: {
      const auto day = static_cast<int32_t>(Get32(bytes));
      if (day < 0 || day > kLastValidDay) Check(kUdbInvalidValue);
      text = DateText(day);
      break;
    }
    case 7:
      text = std::to_string(Get32(bytes + 4)) + ":" + std::to_string(Get32(bytes));
      break;
    case 8:
      text = std::to_string(static_cast<int64_t>(Get64(bytes)));
      break;
    default:
      Check(kUdbIncorrectFieldType);
  }
  return text.substr(0, kMaxText);
}

TUdbVariant TUdbField::AsVariant() {
  if (type_ == 4) return {true, AsInteger(), {}};
  return {false, 0, AsString()};
}

double TUdbField::AsFloat() {
  if (RangeEmpty()) return 0.0;
  if (type_ == 3) {
    uint8_t bytes[8];
    ReadValue(bytes, sizeof bytes);
    double value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  const TUdbVariant value = AsVariant();
  return value.is_integer ? value.integer : TextToFloat(value.text);
}

int64_t TUdbField::AsLargeint() {
  if (RangeEmpty()) return 0;
  if (type_ != 8) return AsInteger();
  uint8_t bytes[8];
  ReadValue(bytes, sizeof bytes);
  return static_cast<int64_t>(Get64(bytes));
}

void TUdbField::GetData(void* buffer) {
  TUdbFile* file = table_.FileSet();
  if (file == nullptr) Check(kUdbTableClosed);
  const uint8_t* stored = nullptr;
  Check(file->Engine().FieldValue(static_cast<uint32_t>(table_.TableIndexInFile()),
                                  static_cast<uint32_t>(position_), table_.RecordNumber(), stored));
  std::memcpy(buffer, stored, size_);
}

uint32_t TUdbField::BlobSize() {
  if (type_ != 7) return size_;
  uint8_t bytes[8];
  ReadValue(bytes, sizeof bytes);
  return Get32(bytes);
}

void TUdbField::ReadBlob(TStream& stream) {
  TUdbFile* file = table_.FileSet();
  if (file == nullptr) Check(kUdbTableClosed);
  std::vector<uint8_t> chunk(kBlobChunk);
  const uint32_t size = BlobSize();
  for (uint32_t offset = 0; offset < size;) {
    uint32_t done = 0;
    Check(file->Engine().PartialRead(
        static_cast<uint32_t>(table_.TableIndexInFile()), static_cast<uint32_t>(position_),
        table_.RecordNumber(), offset, std::min(kBlobChunk, size - offset), chunk.data(), done));
    if (done == 0) break;
    stream.WriteBuffer(chunk.data(), done);
    offset += done;
  }
}

}  // namespace tabshift::udb

// Comparison of values: the common type two operands are converted to, and the comparison of
// two values of one type.
#include <array>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSVariant.h"
#include "platform/Collation.h"

namespace tabshift {
namespace {

bool IsText(BaseDataType t) {
  return IsBaseStringType(t);
}
bool IsInteger(BaseDataType t) {
  return t >= bdtShortInt && t <= bdtCardinal;
}
bool IsFloating(BaseDataType t) {
  return t >= bdtSingle && t <= bdtExtended;
}
bool IsDateOrTime(BaseDataType t) {
  return IsBaseDateTimeType(t);
}
bool IsBinary(BaseDataType t) {
  return t == bdtBlob || t == bdtBytes || t == bdtVarBytes;
}
// Floating, date, time and currency types: the other type wins against any integer.
bool IsWiderThanIntegers(BaseDataType t) {
  return IsFloating(t) || IsDateOrTime(t) || t == bdtCurrency;
}

// A text type against a date or time type: the date or time type when comparing, else the
// text type.
BaseDataType TextAgainstDate(BaseDataType text, BaseDataType date, bool for_comparison) {
  return for_comparison ? date : text;
}

BaseDataType CommonWithText(BaseDataType left, BaseDataType right, bool for_comparison) {
  if (IsBinary(right)) return bdtUnknown;
  if (IsDateOrTime(right)) return TextAgainstDate(left, right, for_comparison);
  switch (left) {
    case bdtChar:
      if (right == bdtWideChar || right == bdtWideMemo) return bdtWideChar;
      if (right == bdtString || right == bdtWideString) return right;
      return bdtChar;
    case bdtWideChar:
      return right == bdtWideString ? bdtWideString : bdtWideChar;
    case bdtString:
      if (right == bdtWideChar) return bdtWideChar;
      if (right == bdtWideString || right == bdtWideMemo) return bdtWideString;
      return bdtString;
    default:
      return bdtWideString;
  }
}

BaseDataType CommonWithSignedSmall(BaseDataType left, BaseDataType right) {
  switch (right) {
    case bdtShortInt:
    case bdtLogical:
      return left;
    case bdtSmallInt:
    case bdtByte:
      return bdtSmallInt;
    case bdtInteger:
    case bdtLargeInt:
    case bdtWord:
    case bdtCardinal:
      return right;
    default:
      return IsWiderThanIntegers(right) ? right : bdtUnknown;
  }
}

BaseDataType CommonWithUnsigned(BaseDataType left, BaseDataType right) {
  static constexpr int kRank[] = {0, 1, 2};  // BYTE, WORD, CARDINAL
  const auto rank = [](BaseDataType t) { return kRank[t - bdtByte]; };
  if (right == bdtLogical) return left;
  if (right >= bdtByte && right <= bdtCardinal) return rank(right) > rank(left) ? right : left;
  if (right == bdtLargeInt) return bdtLargeInt;
  if (right == bdtShortInt || right == bdtSmallInt) {
    if (left == bdtByte) return bdtSmallInt;
    return left == bdtWord ? bdtInteger : bdtLargeInt;
  }
  if (right == bdtInteger) return left == bdtCardinal ? bdtLargeInt : bdtInteger;
  return IsWiderThanIntegers(right) ? right : bdtUnknown;
}

BaseDataType CommonWithNumber(BaseDataType left, BaseDataType right) {
  switch (left) {
    case bdtShortInt:
    case bdtSmallInt:
      return CommonWithSignedSmall(left, right);
    case bdtInteger:
      if (right == bdtLargeInt || right == bdtCardinal) return bdtLargeInt;
      if (IsInteger(right) || right == bdtLogical) return bdtInteger;
      return IsWiderThanIntegers(right) ? right : bdtUnknown;
    case bdtLargeInt:
      if (IsInteger(right) || right == bdtLogical) return bdtLargeInt;
      return IsWiderThanIntegers(right) ? right : bdtUnknown;
    case bdtByte:
    case bdtWord:
    case bdtCardinal:
      return CommonWithUnsigned(left, right);
    case bdtSingle:
    case bdtFloat:
    case bdtExtended:
      if (IsInteger(right) || right == bdtLogical) return left;
      if (IsFloating(right)) return right > left ? right : left;
      return IsDateOrTime(right) || right == bdtCurrency ? right : bdtUnknown;
    default:  // CURRENCY
      if (IsInteger(right) || right == bdtCurrency) return bdtCurrency;
      return IsFloating(right) ? right : bdtUnknown;
  }
}

BaseDataType CommonWithDate(BaseDataType left, BaseDataType right) {
  switch (left) {
    case bdtDate:
      if (right >= bdtShortInt && right <= bdtDate) return bdtDate;
      return right == bdtTime || right == bdtDateTime ? bdtDateTime : bdtUnknown;
    case bdtTime:
      if ((right >= bdtShortInt && right <= bdtExtended) || right == bdtTime) return bdtTime;
      return right == bdtDate || right == bdtDateTime ? bdtDateTime : bdtUnknown;
    default:
      return right >= bdtShortInt && right <= bdtDateTime ? bdtDateTime : bdtUnknown;
  }
}

BaseDataType CommonWithMemo(BaseDataType left, BaseDataType right) {
  if (left == bdtMemo) {
    if (right == bdtChar || right == bdtMemo) return bdtChar;
    if (right == bdtWideChar || right == bdtWideMemo) return bdtWideChar;
    return right == bdtString || right == bdtWideString ? right : bdtUnknown;
  }
  if (right == bdtChar || right == bdtWideChar || right == bdtMemo || right == bdtWideMemo) {
    return bdtWideChar;
  }
  return right == bdtString || right == bdtWideString ? bdtWideString : bdtUnknown;
}

template <typename T>
T Read(const uint8_t* bytes, int32_t size) {
  T value{};
  std::memcpy(&value, bytes, std::min(sizeof(T), static_cast<size_t>(size)));
  return value;
}

template <typename T>
int Order(T left, T right) {
  return left < right ? -1 : (right < left ? 1 : 0);
}

// A 16-bit text copied out of a byte buffer (which need not be aligned); short texts stay on
// the stack.
class WideText {
 public:
  WideText(const uint8_t* bytes, int32_t size) {
    const size_t count = static_cast<size_t>(size) / 2;
    char16_t* target = small_.data();
    if (count > small_.size()) {
      large_.resize(count);
      target = large_.data();
    }
    std::memcpy(target, bytes, count * 2);
    view_ = std::u16string_view(target, count);
    view_ = view_.substr(0, std::min(view_.size(), view_.find(u'\0')));
  }
  std::u16string_view View() const { return view_; }

 private:
  std::array<char16_t, 64> small_;
  std::u16string large_;
  std::u16string_view view_;
};

template <typename Text>
void ApplyPrefix(Text& left, Text& right, int32_t prefix_length) {
  if (prefix_length == 0) return;
  const size_t length =
      prefix_length == kPrefixOfRightText ? right.size() : static_cast<size_t>(prefix_length);
  left = left.substr(0, std::min(left.size(), length));
  right = right.substr(0, std::min(right.size(), length));
}

int CompareSameType(BaseDataType type, const uint8_t* left, int32_t left_size, const uint8_t* right,
                    int32_t right_size, bool case_insensitive, int32_t prefix_length) {
  switch (type) {
    case bdtChar:
    case bdtString:
    case bdtBytes: {
      const char* l = reinterpret_cast<const char*>(left);
      const char* r = reinterpret_cast<const char*>(right);
      std::string_view lt(l, strnlen(l, static_cast<size_t>(left_size)));
      std::string_view rt(r, strnlen(r, static_cast<size_t>(right_size)));
      ApplyPrefix(lt, rt, prefix_length);
      return platform::CompareAnsi(lt, rt, case_insensitive);
    }
    case bdtWideChar:
    case bdtWideString: {
      const WideText l(left, left_size);
      const WideText r(right, right_size);
      std::u16string_view lt = l.View();
      std::u16string_view rt = r.View();
      ApplyPrefix(lt, rt, prefix_length);
      return platform::CompareWide(lt, rt, case_insensitive);
    }
    case bdtShortInt:
      return Order(Read<int8_t>(left, left_size), Read<int8_t>(right, right_size));
    case bdtSmallInt:
      return Order(Read<int16_t>(left, left_size), Read<int16_t>(right, right_size));
    case bdtInteger:
    case bdtDate:
    case bdtTime:
      return Order(Read<int32_t>(left, left_size), Read<int32_t>(right, right_size));
    case bdtLargeInt:
      return Order(Read<int64_t>(left, left_size), Read<int64_t>(right, right_size));
    case bdtByte:
      return Order(Read<uint8_t>(left, left_size), Read<uint8_t>(right, right_size));
    case bdtWord:
      return Order(Read<uint16_t>(left, left_size), Read<uint16_t>(right, right_size));
    case bdtCardinal:
      return Order(Read<uint32_t>(left, left_size), Read<uint32_t>(right, right_size));
    case bdtSingle:
      return Order(Read<float>(left, left_size), Read<float>(right, right_size));
    case bdtFloat:
    case bdtCurrency:
      return Order(Read<double>(left, left_size), Read<double>(right, right_size));
    case bdtExtended:
      return Order(ExtendedToDouble(Read<Extended80>(left, left_size)),
                   ExtendedToDouble(Read<Extended80>(right, right_size)));
    case bdtDateTime: {
      const EngineDateTime l = Read<EngineDateTime>(left, left_size);
      const EngineDateTime r = Read<EngineDateTime>(right, right_size);
      const int by_date = Order(l.date, r.date);
      return by_date != 0 ? by_date : Order(l.time, r.time);
    }
    case bdtLogical:
      return Order(Read<int16_t>(left, left_size) != 0, Read<int16_t>(right, right_size) != 0);
    default:
      RaiseEngineErrorFmt(native_error::kUnknownCompareType, "Unknown DataType: '%s'",
                          {DataTypeName(type)});
  }
}

TABSCompareResult FromOrder(int order) {
  if (order < 0) return TABSCompareResult::Less;
  return order > 0 ? TABSCompareResult::Greater : TABSCompareResult::Equal;
}

}  // namespace

BaseDataType CommonType(BaseDataType left, BaseDataType right, bool for_comparison) {
  if (left == bdtUnknown || right == bdtUnknown || left >= kBaseDataTypeCount ||
      right >= kBaseDataTypeCount || IsBinary(left)) {
    return bdtUnknown;
  }
  if (IsText(left)) return CommonWithText(left, right, for_comparison);
  if (left == bdtMemo || left == bdtWideMemo) return CommonWithMemo(left, right);
  if (IsBinary(right) || right == bdtMemo || right == bdtWideMemo) return bdtUnknown;
  if (IsText(right)) {
    return IsDateOrTime(left) ? TextAgainstDate(right, left, for_comparison) : right;
  }
  if (IsDateOrTime(left)) return CommonWithDate(left, right);
  if (left == bdtLogical) {
    if (IsInteger(right) || IsFloating(right) || right == bdtLogical) return right;
    return bdtUnknown;
  }
  return CommonWithNumber(left, right);
}

AdvancedDataType ExpressionResultType(AdvancedDataType left, AdvancedDataType right) {
  const BaseDataType left_base = AdvancedToBase(left);
  const BaseDataType right_base = AdvancedToBase(right);
  const BaseDataType common = CommonType(left_base, right_base, false);
  if (common == bdtUnknown) return adtUnknown;
  if (common == left_base) return left;
  if (common == right_base) return right;
  return BaseToAdvanced(common);
}

TABSCompareResult TABSVariant::Compare(const TABSVariant& right, bool case_insensitive,
                                       int32_t prefix_length, bool raw) const {
  const bool left_null = IsNull();
  const bool right_null = right.IsNull();
  if (left_null || right_null) {
    if (left_null && right_null) {
      return raw ? TABSCompareResult::BothNull : TABSCompareResult::Equal;
    }
    if (raw) return left_null ? TABSCompareResult::LeftNull : TABSCompareResult::RightNull;
    return left_null ? TABSCompareResult::Less : TABSCompareResult::Greater;
  }
  if (type_ == right.type_ && type_ != bdtMemo && type_ != bdtWideMemo) {
    return FromOrder(CompareSameType(type_, Buffer(), size_, right.Buffer(), right.size_,
                                     case_insensitive, prefix_length));
  }
  const BaseDataType common = CommonType(type_, right.type_, true);
  if (common == bdtUnknown) {
    RaiseEngineErrorFmt(native_error::kIncompatibleCompareTypes,
                        "Cannot compare Incompatible DataTypes: '%s' and '%s'",
                        {DataTypeName(type_), DataTypeName(right.type_)});
  }
  TABSValueBuffer left_converted;
  TABSValueBuffer right_converted;
  const uint8_t* left_bytes = Buffer();
  int32_t left_size = size_;
  const uint8_t* right_bytes = right.Buffer();
  int32_t right_size = right.size_;
  if (type_ != common) {
    ConvertBuffer(left_bytes, left_size, type_, common, left_converted);
    left_bytes = left_converted.Data();
    left_size = left_converted.Size();
  }
  if (right.type_ != common) {
    ConvertBuffer(right_bytes, right_size, right.type_, common, right_converted);
    right_bytes = right_converted.Data();
    right_size = right_converted.Size();
  }
  if (left_size == 0 || right_size == 0) {
    RaiseEngineError(native_error::kCompareOperandIsNull, "Value is Null");
  }
  return FromOrder(CompareSameType(common, left_bytes, left_size, right_bytes, right_size,
                                   case_insensitive, prefix_length));
}

}  // namespace tabshift

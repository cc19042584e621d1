// Arithmetic on values: numbers in their common type (integers widened when the result does
// not fit), texts joined by Add, dates and times moved by a number of days.
#include <cmath>
#include <limits>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSVariant.h"

namespace tabshift {
namespace {

enum class Operation : uint8_t { Add, Subtract, Multiply, Divide };

[[noreturn]] void RaiseNotNumeric(Operation operation) {
  switch (operation) {
    case Operation::Add:
      RaiseEngineErrorFmt(native_error::kAddNotNumeric,
                          "Not numeric argument in numeric operator '%s'", {"+"});
    case Operation::Subtract:
      RaiseEngineErrorFmt(native_error::kSubtractNotNumeric,
                          "Not numeric argument in numeric operator '%s'", {"-"});
    case Operation::Multiply:
      RaiseEngineErrorFmt(native_error::kMultiplyNotNumeric,
                          "Not numeric argument in numeric operator '%s'", {"*"});
    default:
      RaiseEngineErrorFmt(native_error::kMultiplyNotNumeric,
                          "Not numeric argument in numeric operator '%s'", {"/"});
  }
}

bool IsIntegerType(BaseDataType t) {
  return t >= bdtShortInt && t <= bdtCardinal;
}

bool FitsIn(BaseDataType type, int64_t value) {
  switch (type) {
    case bdtShortInt:
      return value >= INT8_MIN && value <= INT8_MAX;
    case bdtSmallInt:
      return value >= INT16_MIN && value <= INT16_MAX;
    case bdtInteger:
      return value >= INT32_MIN && value <= INT32_MAX;
    case bdtByte:
      return value >= 0 && value <= UINT8_MAX;
    case bdtWord:
      return value >= 0 && value <= UINT16_MAX;
    case bdtCardinal:
      return value >= 0 && value <= UINT32_MAX;
    default:
      return true;
  }
}

// An integer result in `type` when it fits, else in LARGEINT.
TABSVariant IntegerResult(BaseDataType type, int64_t value) {
  TABSVariant result(FitsIn(type, value) ? type : bdtLargeInt);
  result.SetAsLargeInt(value);
  return result;
}

TABSVariant RealResult(BaseDataType type, double value) {
  TABSVariant result(type);
  result.SetAsFloat(value);
  return result;
}

TABSVariant IntegerOperation(Operation operation, BaseDataType type, int64_t left, int64_t right) {
  int64_t value = 0;
  bool overflow = false;
  switch (operation) {
    case Operation::Add:
      overflow = __builtin_add_overflow(left, right, &value);
      break;
    case Operation::Subtract:
      overflow = __builtin_sub_overflow(left, right, &value);
      break;
    case Operation::Multiply:
      overflow = __builtin_mul_overflow(left, right, &value);
      break;
    default:
      return RealResult(bdtFloat, static_cast<double>(left) / static_cast<double>(right));
  }
  if (overflow) {
    const double l = static_cast<double>(left);
    const double r = static_cast<double>(right);
    const double real =
        operation == Operation::Add ? l + r : (operation == Operation::Subtract ? l - r : l * r);
    return RealResult(bdtFloat, real);
  }
  return IntegerResult(type, value);
}

double RealOperation(Operation operation, double left, double right) {
  switch (operation) {
    case Operation::Add:
      return left + right;
    case Operation::Subtract:
      return left - right;
    case Operation::Multiply:
      return left * right;
    default:
      return left / right;
  }
}

// Days of a date or time value (a time is a fraction of a day); other numbers count as days.
double DaysOf(const TABSVariant& value) {
  switch (value.Type()) {
    case bdtDate:
      return value.GetAsEngineDate();
    case bdtTime:
      return static_cast<double>(value.GetAsEngineTime()) / kMillisecondsPerDay;
    case bdtDateTime: {
      const EngineDateTime date_time = value.GetAsEngineDateTime();
      return date_time.date + static_cast<double>(date_time.time) / kMillisecondsPerDay;
    }
    default:
      return value.GetAsFloat();
  }
}

TABSVariant DaysResult(BaseDataType type, double days) {
  const double milliseconds = std::round(days * kMillisecondsPerDay);
  const double whole_days = std::floor(milliseconds / kMillisecondsPerDay);
  if (!(std::fabs(whole_days) <= std::numeric_limits<int32_t>::max())) {
    RaiseEngineErrorFmt(native_error::kCastFailed, "Cannot cast from '%s' to '%s'",
                        {DataTypeName(bdtFloat), DataTypeName(type)});
  }
  const EngineDateTime value{
      static_cast<EngineDate>(whole_days),
      static_cast<EngineTime>(milliseconds - whole_days * kMillisecondsPerDay)};
  TABSVariant result(type);
  if (type == bdtDate) {
    result.SetAsEngineDate(value.date);
  } else if (type == bdtTime) {
    result.SetAsEngineTime(value.time);
  } else {
    result.SetAsEngineDateTime(value);
  }
  return result;
}

TABSVariant DateOperation(Operation operation, BaseDataType common, const TABSVariant& left,
                          const TABSVariant& right) {
  if (operation != Operation::Add && operation != Operation::Subtract) {
    RaiseNotNumeric(operation);
  }
  const double days = RealOperation(operation, DaysOf(left), DaysOf(right));
  const bool both_dates = IsBaseDateTimeType(left.Type()) && IsBaseDateTimeType(right.Type());
  if (operation == Operation::Subtract && both_dates) return RealResult(bdtFloat, days);
  return DaysResult(common, days);
}

TABSVariant TextOperation(Operation operation, BaseDataType common, const TABSVariant& left,
                          const TABSVariant& right) {
  if (operation != Operation::Add) RaiseNotNumeric(operation);
  TABSVariant result(common);
  if (IsBaseWideType(common)) {
    result.SetAsWideString(left.GetAsWideString() + right.GetAsWideString());
  } else {
    result.SetAsString(left.GetAsString() + right.GetAsString());
  }
  return result;
}

TABSVariant Combine(Operation operation, const TABSVariant& left, const TABSVariant& right) {
  const BaseDataType common = CommonType(left.Type(), right.Type(), false);
  if (common == bdtUnknown) RaiseNotNumeric(operation);
  if (left.IsNull() || right.IsNull()) return TABSVariant(common);
  if (IsBaseStringType(common)) return TextOperation(operation, common, left, right);
  if (IsBaseDateTimeType(common)) return DateOperation(operation, common, left, right);
  if (!IsBaseNumericType(common)) RaiseNotNumeric(operation);
  if (operation == Operation::Divide && right.GetAsFloat() == 0) {
    RaiseEngineErrorFmt(native_error::kDivisionError, "Division error: %s", {"Division by zero"});
  }
  if (IsIntegerType(common)) {
    return IntegerOperation(operation, common, left.GetAsLargeInt(), right.GetAsLargeInt());
  }
  return RealResult(common, RealOperation(operation, left.GetAsFloat(), right.GetAsFloat()));
}

}  // namespace

void TABSVariant::Negate() {
  if (!IsBaseNumericType(type_)) {
    RaiseEngineErrorFmt(native_error::kNegateNotNumeric,
                        "Cannot invert value with not numeric type '%s'", {DataTypeName(type_)});
  }
  if (IsNull()) return;
  if (IsIntegerType(type_)) {
    const int64_t value = GetAsLargeInt();
    if (value == std::numeric_limits<int64_t>::min()) {
      Assign(RealResult(bdtFloat, -static_cast<double>(value)), true);
    } else {
      Assign(IntegerResult(type_, -value), true);
    }
    return;
  }
  // SINGLE, FLOAT, EXTENDED and CURRENCY keep their sign in the top bit of the last byte.
  TABSValueBuffer negated;
  negated.Assign(Buffer(), size_);
  negated.Data()[size_ - 1] ^= 0x80;
  StoreOwned(std::move(negated), type_);
}

void TABSVariant::Add(const TABSVariant& right) {
  Assign(Combine(Operation::Add, *this, right), true);
}

void TABSVariant::Subtract(const TABSVariant& right) {
  Assign(Combine(Operation::Subtract, *this, right), true);
}

void TABSVariant::Multiply(const TABSVariant& right) {
  Assign(Combine(Operation::Multiply, *this, right), true);
}

void TABSVariant::Divide(const TABSVariant& right) {
  Assign(Combine(Operation::Divide, *this, right), true);
}

}  // namespace tabshift

// A field of a dataset: one column of its current record, with its metadata and value access
// in every form the framework offers (integer, 64-bit integer, float, date-time, boolean, text,
// UTF-16 text, raw bytes, variant, BLOB streams) and the conversions between them.
//
// A field reads and writes its value through its dataset's GetFieldData and SetFieldData in
// a native form of DataSize() bytes (host byte order):
//   ftString, ftFixedChar, ftGuid   Size + 1 bytes: 8-bit text, zero-terminated
//   ftWideString                    (Size + 1) * 2 bytes: UTF-16 units, zero-terminated
//   ftSmallint                      int16
//   ftWord                          uint16
//   ftInteger, ftAutoInc            int32
//   ftLargeint                      int64
//   ftBoolean                       int16: 0 false, anything else true (written as 1)
//   ftFloat, ftCurrency, ftBCD      double
//   ftDate, ftTime, ftDateTime,     TDateTime (double); a date field holds whole days (the
//   ftTimeStamp                     value truncated toward zero), a time field the time of day
//                                   (a fraction in [0, 1))
//   ftBytes                         Size bytes
//   ftVarBytes                      uint16 length, then Size bytes of which length are used
//   ftBlob, ftMemo, ftGraphic,      none (DataSize 0): the value is read and written only
//   ftFmtMemo, ftParadoxOle,        through the dataset's CreateBlobStream
//   ftDBaseOle, ftTypedBinary,
//   ftOraBlob, ftOraClob
// Other field types have no field class: opening a dataset with one raises EDatabaseError
// "Field '%s' is of an unknown type".
//
// Conversions (a NULL value reads as 0, 0.0, false, "" or no bytes; the variant is Null):
//   integers   <-> float (rounded to the nearest, ties to even), text (decimal), boolean
//                  (0 false, else true); a value outside the field's range raises
//                  EDatabaseError "%s is not a valid value for field '%s'. The allowed range
//                  is %s to %s"; AsInteger of a value beyond 32 bits raises EConvertError
//   float      <-> text (FloatToStr / decimal number), date-time (the day count)
//   date-time  <-> float (the day count), text (DateToStr, TimeToStr or DateTimeToStr by the
//                  field type; reading accepts date and time, a date, or a time)
//   boolean    <-> text "True" / "False" (any case), integers
//   text       ->  8-bit text fields keep at most Size characters, UTF-16 text fields at most
//                  Size units (longer text is cut); UTF-16 text converts through the 8-bit
//                  code page; an empty text sets a numeric, date or boolean field NULL
//   bytes      <-> ftBytes (shorter values are padded with zeros, longer ones raise), ftVarBytes
//                  (at most Size bytes), BLOBs (the whole content), 8-bit text fields (the
//                  text's bytes); AsBytes of a UTF-16 text field gives its units' bytes, of
//                  any other field its native form, which SetAsBytes takes back when it has
//                  exactly DataSize bytes
//   variant    <-  by the field type: Smallint, Word, Integer, Int64, Boolean, Double, Currency,
//                  Date, String (8-bit text, and BLOB content), OleStr (UTF-16 text), ByteArray
//                  (ftBytes, ftVarBytes); Null for a NULL value
//   variant    ->  by the variant's kind: integers, floats, dates, booleans, 8-bit and UTF-16
//                  text and byte arrays are assigned as by the setter of that kind; Empty and
//                  Null clear the field
// Text that does not convert raises EConvertError; a conversion a field type does not offer
// raises EDatabaseError "Cannot access field '%s' as type %s".
// Reading a field of a dataset without a current record gives NULL; reading or writing one of
// a closed dataset raises the dataset's CheckActive error. Writes go through the dataset's
// CheckFieldWrite and mark the record Modified.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/DateTime.h"
#include "framework/FieldDefs.h"
#include "framework/FieldType.h"
#include "framework/Variant.h"

namespace tabshift {

class TDataSet;
class TStream;

// True for the field types whose value lives in a BLOB.
bool IsBlobFieldType(TFieldType type);
// Bytes of the native form of a field of that type and size; 0 for BLOB types; -1 for a type
// without a field class.
int FieldDataSize(TFieldType type, int32_t size);

class TField {
 public:
  // `field_no` is the 1-based position of the field's definition; `index` the position in the
  // dataset's field list.
  TField(TDataSet& dataset, const TFieldDef& def, int field_no, int index);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet& DataSet() const { return dataset_; }
  const std::string& FieldName() const { return name_; }
  TFieldType DataType() const { return type_; }
  int32_t Size() const { return size_; }
  bool Required() const { return required_; }
  int FieldNo() const { return field_no_; }
  int Index() const { return index_; }
  int DataSize() const { return data_size_; }
  bool IsBlob() const { return IsBlobFieldType(type_); }

  bool IsNull() const;
  // Makes the value NULL.
  void Clear();

  // The native form (DataSize bytes): false, leaving `buffer` undefined, when the value is
  // NULL. Not for BLOB fields.
  bool GetData(void* buffer) const;
  // Writes the native form; nullptr makes the value NULL. Not for BLOB fields.
  void SetData(const void* buffer);

  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  std::string AsString() const;
  void SetAsString(std::string_view value);
  std::u16string AsWideString() const;
  void SetAsWideString(std::u16string_view value);
  std::vector<uint8_t> AsBytes() const;
  void SetAsBytes(std::span<const uint8_t> value);
  Variant AsVariant() const;
  void SetAsVariant(const Variant& value);

  // BLOB fields only: the whole content from or into a stream. LoadFromStream copies the
  // source from its start.
  void LoadFromStream(TStream& source);
  void SaveToStream(TStream& target) const;

 private:
  [[noreturn]] void AccessError(const char* type_name) const;
  [[noreturn]] void RangeError(const std::string& value, const std::string& min,
                               const std::string& max) const;
  void CheckNotBlob(const char* type_name) const;
  // Asks the dataset for the value of the current record; false when NULL or when there is no
  // current record. `buffer` may be nullptr.
  bool HasValue(void* buffer) const;
  // Reads the native form into the scratch buffer; false when NULL.
  bool ReadNative() const;
  void WriteNative(const void* buffer);
  void WriteInteger(int64_t value);
  int64_t FloatToInteger(double value) const;
  void WriteWideText(std::u16string_view value);
  void WriteByteValue(std::span<const uint8_t> value);
  std::vector<uint8_t> ReadBlob() const;
  // The dataset's BLOB streams take the field as changeable; a read-mode stream changes
  // nothing.
  TField& Self() const { return const_cast<TField&>(*this); }
  void WriteBlob(const void* data, size_t size);

  TDataSet& dataset_;
  std::string name_;
  TFieldType type_;
  int32_t size_;
  bool required_;
  int field_no_;
  int index_;
  int data_size_;
  mutable std::vector<uint8_t> scratch_;
};

// The fields of a dataset in order. Names are looked up without regard to case.
class TFields {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TField& operator[](int index) const { return *items_.at(static_cast<size_t>(index)); }
  // nullptr when no field has that name.
  TField* FindField(std::string_view name) const;
  // Raises EDatabaseError "Field '%s' not found" for an unknown name.
  TField& FieldByName(std::string_view name) const;

  void Add(std::unique_ptr<TField> field) { items_.push_back(std::move(field)); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TField>> items_;
};

}  // namespace tabshift

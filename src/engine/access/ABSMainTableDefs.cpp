#include "engine/access/ABSMainTableDefs.h"

#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "framework/FormatSettings.h"
#include "framework/Text.h"

namespace tabshift {
namespace {

// A value whose text is empty means "none"; any other value is kept in the field's base type.
// Defaults are plain literals here: nothing in this system compiles default expressions.
void NormalizeValue(TABSVariant& value, BaseDataType field_type) {
  if (value.IsNull()) return;
  if (IsBaseStringType(value.Type()) && value.GetAsString().empty()) {
    value.Clear(value.Type());
    return;
  }
  if (field_type != bdtUnknown) value.ConvertTo(field_type);
}

void NormalizeAdvFieldDefs(TABSAdvFieldDefs& adv_fields) {
  for (TABSAdvFieldDef& field : adv_fields) {
    const BaseDataType base = AdvancedToBase(field.DataType);
    NormalizeValue(field.DefaultValue, base);
    NormalizeValue(field.MinValue, base);
    NormalizeValue(field.MaxValue, base);
    field.Size = NormalizedDeclaredSize(field.DataType, field.Size, true);
  }
}

void AdvFieldDefsToFieldDefs(const TABSAdvFieldDefs& adv_fields, TFieldDefs& field_defs) {
  field_defs.Clear();
  for (const TABSAdvFieldDef& field : adv_fields) {
    field_defs.Add(field.Name, AdvancedToFramework(field.DataType), field.Size, field.Required);
  }
}

const TABSAdvFieldDef* FindAdvField(const TABSAdvFieldDefs& adv_fields, std::string_view name) {
  for (const TABSAdvFieldDef& field : adv_fields) {
    if (SameText(field.Name, name)) return &field;
  }
  return nullptr;
}

int32_t ParseIndexedSize(const std::string& text) {
  if (text.empty()) return kDefaultMaxIndexedSize;
  int32_t size = 0;
  if (!TryStrToInt(text, size)) throw EConvertError("'" + text + "' is not a valid integer value");
  return size;
}

// Applies the MaxIndexedSize rule to one index; true when a size was corrected.
bool CorrectIndexedSizes(TABSAdvIndexDef& index, const TABSAdvFieldDefs& adv_fields) {
  const std::vector<std::string> fields = SplitFieldList(index.Fields);
  const std::vector<std::string> sizes = SplitFieldList(index.MaxIndexedSizes);
  std::vector<int32_t> corrected;
  bool changed = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    int32_t size = i < sizes.size() ? ParseIndexedSize(sizes[i]) : kDefaultMaxIndexedSize;
    const TABSAdvFieldDef* field = FindAdvField(adv_fields, fields[i]);
    const bool keeps = size > 0 && (field == nullptr || IsSizedType(field->DataType));
    if (!keeps && size != kDefaultMaxIndexedSize) {
      size = kDefaultMaxIndexedSize;
      changed = true;
    }
    corrected.push_back(size);
  }
  if (!changed) return false;
  std::string text;
  for (const int32_t size : corrected) {
    if (!text.empty()) text += ';';
    text += std::to_string(size);
  }
  index.MaxIndexedSizes = text;
  return true;
}

}  // namespace

void CheckAdvFieldDefs(std::string_view table_name, const TABSAdvFieldDefs& adv_fields) {
  for (size_t i = 0; i < adv_fields.size(); ++i) {
    const TABSAdvFieldDef& field = adv_fields[i];
    if (Trim(field.Name).empty()) {
      RaiseEngineErrorFmt(native_error::kMissingFieldName,
                          "Missing field name. FieldNo=%d, table '%s'",
                          {static_cast<int32_t>(i), table_name});
    }
    CheckFieldCreation(table_name, field.Name, field.DataType, field.Size,
                       field.BlobCompressionAlgorithm, field.BlobCompressionMode);
  }
}

void PrepareFieldDefinitions(std::string_view table_name, TFieldDefs& field_defs,
                             TABSAdvFieldDefs& adv_fields) {
  if (adv_fields.empty()) {
    for (int i = 0; i < field_defs.Count(); ++i) {
      if (field_defs[i].DataType == ftGuid) field_defs[i].Size = kGuidSize;
    }
    FieldDefsToAdvFieldDefs(field_defs, adv_fields);
    CheckAdvFieldDefs(table_name, adv_fields);
    return;
  }
  NormalizeAdvFieldDefs(adv_fields);
  CheckAdvFieldDefs(table_name, adv_fields);
  AdvFieldDefsToFieldDefs(adv_fields, field_defs);
}

void PrepareIndexDefinitions(TIndexDefs& index_defs, TABSAdvIndexDefs& adv_indexes,
                             const TABSAdvFieldDefs& adv_fields) {
  if (adv_indexes.empty()) {
    IndexDefsToAdvIndexDefs(index_defs, adv_indexes);
  } else {
    AdvIndexDefsToIndexDefs(adv_indexes, index_defs);
  }
  for (TABSAdvIndexDef& index : adv_indexes) CorrectIndexedSizes(index, adv_fields);
}

void BuildEngineDefinitions(const TFieldDefs& field_defs, const TABSAdvFieldDefs& adv_fields,
                            const TABSAdvIndexDefs& adv_indexes, bool temporary_table,
                            TABSTableDefinitions& engine) {
  AdvIndexDefsToEngineDefs(adv_indexes, field_defs, engine.Indexes);
  AdvFieldDefsToEngineDefs(adv_fields, engine.Indexes, temporary_table, engine.Fields,
                           engine.Constraints);
}

}  // namespace tabshift

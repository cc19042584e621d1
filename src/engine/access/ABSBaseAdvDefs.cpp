#include "engine/access/ABSBaseAdvDefs.h"

#include <algorithm>

#include "engine/access/ABSBaseCodes.h"
#include "engine/access/ABSExcept.h"
#include "framework/FormatSettings.h"
#include "framework/Text.h"

namespace tabshift {
namespace {

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ';';
    text += item;
  }
  return text;
}

bool ListHas(const std::vector<std::string>& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& item) { return SameText(item, name); });
}

int32_t IndexedSizeAt(const std::vector<std::string>& sizes, size_t position) {
  if (position >= sizes.size() || sizes[position].empty()) return kDefaultMaxIndexedSize;
  int32_t size = 0;
  if (!TryStrToInt(sizes[position], size)) {
    throw EConvertError("'" + sizes[position] + "' is not a valid integer value");
  }
  return size;
}

std::unique_ptr<TABSConstraintDef> KeyConstraint(const TABSIndexDef& index) {
  std::unique_ptr<TABSConstraintDefUnique> constraint;
  if (index.Primary) {
    constraint = std::make_unique<TABSConstraintDefPrimary>();
    constraint->Name = "C_PK";
  } else {
    constraint = std::make_unique<TABSConstraintDefUnique>();
    constraint->Name = "C_Unique";
  }
  constraint->Target = {index.Name, index.ObjectID};
  for (const TABSIndexColumn& column : index.Columns) {
    constraint->Name += "$" + column.ColumnName;
    constraint->Columns.push_back({column.ColumnName, 0});
  }
  return constraint;
}

std::unique_ptr<TABSFieldDef> EngineField(const TABSAdvFieldDef& source) {
  auto field = std::make_unique<TABSFieldDef>();
  field->Name = source.Name;
  field->SetDataType(source.DataType, source.Size);
  field->BlobCompressionAlgorithm = source.BlobCompressionAlgorithm;
  field->BlobCompressionMode = source.BlobCompressionMode;
  field->BlobBlockSize = source.BlobBlockSize > 0 ? source.BlobBlockSize : kDefaultBlobBlockSize;
  field->AutoincIncrement = source.AutoincIncrement;
  field->AutoincInitialValue = source.AutoincInitialValue;
  field->AutoincMinValue = source.AutoincMinValue;
  field->AutoincMaxValue = source.AutoincMaxValue;
  field->AutoincCycled = source.AutoincCycled;
  field->DefaultValue = source.DefaultValue;
  return field;
}

// The field a not-null or check constraint is about, by the ObjectID of its third pair.
int FieldOfConstraint(const TABSFieldDefs& fields, const TABSConstraintDef& constraint,
                      int32_t code) {
  const int index = fields.FindByObjectID(constraint.Target.ObjectID);
  if (index < 0) RaiseEngineErrorFmt(code, "Field #%d not found", {constraint.Target.ObjectID});
  return index;
}

bool NamesAllKeyFields(const std::string& list, const std::string& fields) {
  const std::string normalized = UpperCase(Trim(list));
  return !normalized.empty() && normalized == UpperCase(Trim(fields));
}

}  // namespace

std::vector<std::string> SplitFieldList(std::string_view text) {
  std::vector<std::string> items;
  if (Trim(text).empty()) return items;
  std::string item;
  for (const char c : text) {
    if (c == ';' || c == ',') {
      items.push_back(Trim(item));
      item.clear();
    } else {
      item += c;
    }
  }
  items.push_back(Trim(item));
  return items;
}

void FieldDefsToAdvFieldDefs(const TFieldDefs& source, TABSAdvFieldDefs& target) {
  target.clear();
  for (int i = 0; i < source.Count(); ++i) {
    TABSAdvFieldDef field;
    field.Name = source[i].Name;
    field.DataType = FrameworkToAdvanced(source[i].DataType);
    field.Size = source[i].Size;
    field.Required = source[i].Required;
    target.push_back(std::move(field));
  }
}

void AdvFieldDefsToEngineDefs(const TABSAdvFieldDefs& source, const TABSIndexDefs& indexes,
                              bool temporary_table, TABSFieldDefs& fields,
                              TABSConstraintDefs& constraints) {
  fields.Clear();
  constraints.Clear();
  for (const TABSAdvFieldDef& source_field : source) {
    std::unique_ptr<TABSFieldDef> field = EngineField(source_field);
    if (!temporary_table && source_field.Required) {
      auto not_null = std::make_unique<TABSConstraintDefNotNull>();
      not_null->Target = {field->Name, field->ObjectID};
      constraints.Add(std::move(not_null));
    }
    if (!temporary_table && (!source_field.MinValue.IsNull() || !source_field.MaxValue.IsNull())) {
      auto check = std::make_unique<TABSConstraintDefCheck>();
      check->Target = {field->Name, field->ObjectID};
      check->MinValue = source_field.MinValue;
      check->MaxValue = source_field.MaxValue;
      constraints.Add(std::move(check));
    }
    fields.Add(std::move(field));
  }
  if (temporary_table) return;
  for (int i = 0; i < indexes.Count(); ++i) {
    const TABSIndexDef& index = indexes.GetItem(i);
    if (index.Primary || index.Unique) constraints.Add(KeyConstraint(index));
  }
}

void AdvIndexDefsToEngineDefs(const TABSAdvIndexDefs& source, const TFieldDefs& table_fields,
                              TABSIndexDefs& target) {
  target.Clear();
  for (const TABSAdvIndexDef& index : source) {
    target.Add(BuildIndexDef(index.Name, index.Fields, index.DescFields, index.CaseInsFields,
                             index.MaxIndexedSizes, index.Temporary, index.Options, table_fields));
  }
}

void IndexDefsToAdvIndexDefs(const TIndexDefs& source, TABSAdvIndexDefs& target) {
  target.clear();
  for (const TIndexDef& index : source) {
    TABSAdvIndexDef copy;
    copy.Name = index.Name;
    copy.Fields = index.Fields;
    copy.DescFields = index.DescFields;
    copy.CaseInsFields = index.CaseInsFields;
    copy.Options = index.Options;
    target.push_back(std::move(copy));
  }
}

void AdvIndexDefsToIndexDefs(const TABSAdvIndexDefs& source, TIndexDefs& target) {
  target.clear();
  for (const TABSAdvIndexDef& index : source) {
    TIndexDef copy{index.Name, index.Fields, index.DescFields, index.CaseInsFields, index.Options};
    if (NamesAllKeyFields(index.DescFields, index.Fields)) copy.Options |= ixDescending;
    if (NamesAllKeyFields(index.CaseInsFields, index.Fields)) copy.Options |= ixCaseInsensitive;
    target.push_back(std::move(copy));
  }
}

void EngineDefsToAdvFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                              TABSAdvFieldDefs& target) {
  target.clear();
  for (int i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields.Item(i);
    TABSAdvFieldDef copy;
    copy.Name = field.Name;
    copy.ObjectID = field.ObjectID;
    copy.DataType = field.AdvancedType;
    copy.Size = field.AdvancedType == adtGuid ? 0 : field.Size;
    const bool known_algorithm =
        field.BlobCompressionAlgorithm >= 1 && field.BlobCompressionAlgorithm <= 3;
    copy.BlobCompressionAlgorithm = known_algorithm ? field.BlobCompressionAlgorithm : 0;
    copy.BlobCompressionMode = field.BlobCompressionMode;
    copy.BlobBlockSize = field.BlobBlockSize;
    copy.AutoincIncrement = field.AutoincIncrement;
    copy.AutoincInitialValue = field.AutoincInitialValue;
    copy.AutoincMinValue = field.AutoincMinValue;
    copy.AutoincMaxValue = field.AutoincMaxValue;
    copy.AutoincCycled = field.AutoincCycled;
    copy.DefaultValue = field.DefaultValue;
    target.push_back(std::move(copy));
  }
  for (int i = 0; i < constraints.Count(); ++i) {
    const TABSConstraintDef& constraint = constraints.Item(i);
    switch (constraint.Kind()) {
      case constraint_kind::kNotNull:
        target[static_cast<size_t>(
                   FieldOfConstraint(fields, constraint, meta_code::kNotNullFieldNotFound))]
            .Required = true;
        break;
      case constraint_kind::kCheck: {
        TABSAdvFieldDef& field = target[static_cast<size_t>(
            FieldOfConstraint(fields, constraint, meta_code::kCheckFieldNotFound))];
        const auto& check = static_cast<const TABSConstraintDefCheck&>(constraint);
        field.MinValue = check.MinValue;
        field.MaxValue = check.MaxValue;
        break;
      }
      case constraint_kind::kPrimary:
      case constraint_kind::kUnique:
        break;
      default:
        RaiseEngineError(meta_code::kConstraintToAdvNotImplemented, "Not implemented yet");
    }
  }
}

void EngineDefsToAdvIndexDefs(const TABSIndexDefs& indexes, TABSAdvIndexDefs& target) {
  target.clear();
  for (int i = 0; i < indexes.Count(); ++i) {
    const TABSIndexDef& index = indexes.GetItem(i);
    std::vector<std::string> names, descending, case_insensitive, sizes;
    for (const TABSIndexColumn& column : index.Columns) {
      names.push_back(column.ColumnName);
      if (column.Descending) descending.push_back(column.ColumnName);
      if (column.CaseInsensitive) case_insensitive.push_back(column.ColumnName);
      sizes.push_back(std::to_string(column.MaxIndexedSize));
    }
    TABSAdvIndexDef copy;
    copy.Name = index.Name;
    copy.Fields = Joined(names);
    copy.DescFields = Joined(descending);
    copy.CaseInsFields = Joined(case_insensitive);
    copy.Options =
        static_cast<TIndexOptions>((index.Unique ? ixUnique : 0) | (index.Primary ? ixPrimary : 0));
    copy.MaxIndexedSizes = Joined(sizes);
    copy.Temporary = index.Temporary;
    target.push_back(std::move(copy));
  }
}

void EngineDefsToFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                           TFieldDefs& target) {
  target.Clear();
  for (int i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields.Item(i);
    target.Add(field.Name, AdvancedToFramework(field.AdvancedType),
               IsSizedType(field.AdvancedType) ? field.Size : 0, false);
  }
  for (int i = 0; i < constraints.Count(); ++i) {
    const TABSConstraintDef& constraint = constraints.Item(i);
    if (constraint.Kind() != constraint_kind::kNotNull) continue;
    TFieldDef& field =
        target[FieldOfConstraint(fields, constraint, meta_code::kNotNullFieldNotFound)];
    if (field.DataType != ftAutoInc) field.Required = true;
  }
}

std::unique_ptr<TABSIndexDef> BuildIndexDef(std::string_view name, std::string_view fields,
                                            std::string_view desc_fields,
                                            std::string_view case_ins_fields,
                                            std::string_view max_indexed_sizes, bool temporary,
                                            TIndexOptions options, const TFieldDefs& table_fields) {
  if (name.empty()) {
    RaiseEngineErrorFmt(meta_code::kInvalidIndexName, "Invalid index name '%s'", {""});
  }
  const std::vector<std::string> names = SplitFieldList(fields);
  if (names.empty()) {
    RaiseEngineErrorFmt(meta_code::kNoIndexFields, "Cannot find index field '%s'", {""});
  }
  const std::vector<std::string> descending = SplitFieldList(desc_fields);
  const std::vector<std::string> case_insensitive = SplitFieldList(case_ins_fields);
  const std::vector<std::string> sizes = SplitFieldList(max_indexed_sizes);
  auto index = std::make_unique<TABSIndexDef>();
  index->Name = std::string(name);
  index->Unique = (options & ixUnique) != 0;
  index->Primary = (options & ixPrimary) != 0;
  index->Temporary = temporary;
  for (size_t i = 0; i < names.size(); ++i) {
    if (table_fields.IndexOf(names[i]) < 0) {
      RaiseEngineErrorFmt(meta_code::kUnknownIndexField, "Cannot find index field '%s'",
                          {names[i]});
    }
    TABSIndexColumn column;
    column.ColumnName = names[i];
    column.Descending =
        ListHas(descending, names[i]) || ((options & ixDescending) != 0 && descending.empty());
    column.CaseInsensitive = ListHas(case_insensitive, names[i]) ||
                             ((options & ixCaseInsensitive) != 0 && case_insensitive.empty());
    column.MaxIndexedSize = IndexedSizeAt(sizes, i);
    index->Columns.push_back(std::move(column));
  }
  return index;
}

}  // namespace tabshift

// The component-level definitions a table component keeps beside the framework's, and the
// conversions between the three forms of a table's structure: framework definitions,
// component-level definitions and engine definitions. Every conversion clears its target
// first and keeps the order of the lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/access/ABSBaseFieldDefs.h"
#include "engine/access/ABSBaseIndexDefs.h"
#include "engine/access/ABSVariant.h"
#include "framework/FieldDefs.h"
#include "framework/IndexDefs.h"

namespace tabshift {

struct TABSAdvFieldDef {
  std::string Name;
  int32_t ObjectID = -1;
  AdvancedDataType DataType = adtUnknown;
  bool Required = false;
  int32_t Size = 0;
  TABSVariant DefaultValue;
  TABSVariant MinValue;
  TABSVariant MaxValue;
  int64_t AutoincIncrement = 1;
  int64_t AutoincInitialValue = 0;
  int64_t AutoincMinValue = 0;
  int64_t AutoincMaxValue = INT64_MAX;
  bool AutoincCycled = false;
  uint8_t BlobCompressionAlgorithm = 0;
  uint8_t BlobCompressionMode = 0;
  int32_t BlobBlockSize = kDefaultBlobBlockSize;
};
using TABSAdvFieldDefs = std::vector<TABSAdvFieldDef>;

// Field name lists separate their items with ";" or ","; MaxIndexedSizes holds decimal sizes
// at the positions of the fields they belong to.
struct TABSAdvIndexDef {
  std::string Name;
  std::string Fields;
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options = 0;
  std::string MaxIndexedSizes;
  bool Temporary = false;

  bool operator==(const TABSAdvIndexDef&) const = default;
};
using TABSAdvIndexDefs = std::vector<TABSAdvIndexDef>;

// The items of a field name or size list: commas count as semicolons; each item is trimmed.
std::vector<std::string> SplitFieldList(std::string_view text);

// 1. Framework field definitions to component-level ones: name, declared type (an unmapped
// framework type raises 30289), size, required.
void FieldDefsToAdvFieldDefs(const TFieldDefs& source, TABSAdvFieldDefs& target);
// 2. Component-level field definitions to engine field definitions and, unless the table is
// temporary, constraints: not null for required fields, check for fields with a bound, and
// primary key or unique for the primary and unique indexes among `indexes`.
void AdvFieldDefsToEngineDefs(const TABSAdvFieldDefs& source, const TABSIndexDefs& indexes,
                              bool temporary_table, TABSFieldDefs& fields,
                              TABSConstraintDefs& constraints);
// 3. Component-level index definitions to engine ones, against the table's fields.
void AdvIndexDefsToEngineDefs(const TABSAdvIndexDefs& source, const TFieldDefs& table_fields,
                              TABSIndexDefs& target);
// 4. Framework index definitions to component-level ones.
void IndexDefsToAdvIndexDefs(const TIndexDefs& source, TABSAdvIndexDefs& target);
// 5. Component-level index definitions to framework ones; a descending or case-insensitive
// field list that names all key fields becomes the option.
void AdvIndexDefsToIndexDefs(const TABSAdvIndexDefs& source, TIndexDefs& target);
// 6. Engine definitions back to component-level ones, the constraints folded into the fields.
void EngineDefsToAdvFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                              TABSAdvFieldDefs& target);
void EngineDefsToAdvIndexDefs(const TABSIndexDefs& indexes, TABSAdvIndexDefs& target);
// 7. Engine definitions back to framework field definitions.
void EngineDefsToFieldDefs(const TABSFieldDefs& fields, const TABSConstraintDefs& constraints,
                           TFieldDefs& target);

// Builds one engine index definition over the table's fields. An empty name raises 20048, no
// fields 20049, a field the table lacks 20050.
std::unique_ptr<TABSIndexDef> BuildIndexDef(std::string_view name, std::string_view fields,
                                            std::string_view desc_fields,
                                            std::string_view case_ins_fields,
                                            std::string_view max_indexed_sizes, bool temporary,
                                            TIndexOptions options, const TFieldDefs& table_fields);

}  // namespace tabshift

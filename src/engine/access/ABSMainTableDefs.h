// How a table component turns the definitions it was given into the engine's definitions of
// a new table: the framework and component-level field and index definitions are brought into
// agreement and checked, then the engine field, index and constraint definitions are built.
#pragma once

#include <string_view>

#include "engine/access/ABSBaseAdvDefs.h"

namespace tabshift {

// Native error codes of table creation.
namespace native_error {
// "Missing field name. FieldNo=%d, table '%s'"
inline constexpr int32_t kMissingFieldName = 30499;
}  // namespace native_error

// The engine definitions a table is created with.
struct TABSTableDefinitions {
  TABSFieldDefs Fields;
  TABSIndexDefs Indexes;
  TABSConstraintDefs Constraints;
};

// Without component-level field definitions they are made from the framework ones (GUID
// fields take size 38 first; a framework type the engine lacks raises 30289). Otherwise the
// component-level ones are normalised (defaults and bounds with an empty text become NULL, the
// others take the field's base type; declared sizes follow the creation rules) and the
// framework definitions are rebuilt from them. Either way the component-level definitions are
// then checked (CheckAdvFieldDefs).
void PrepareFieldDefinitions(std::string_view table_name, TFieldDefs& field_defs,
                             TABSAdvFieldDefs& adv_fields);

// A field without a name raises 30499 with its position from 0; then the size and BLOB rules
// of table creation apply (30453, 20257).
void CheckAdvFieldDefs(std::string_view table_name, const TABSAdvFieldDefs& adv_fields);

// Without component-level index definitions they are made from the framework ones; otherwise
// the framework ones are rebuilt from them. A column keeps a positive MaxIndexedSize only when
// its field is of a sized type or not among `adv_fields`; other sizes become 20, and an index
// with a corrected size has its size list rewritten.
void PrepareIndexDefinitions(TIndexDefs& index_defs, TABSAdvIndexDefs& adv_indexes,
                             const TABSAdvFieldDefs& adv_fields);

// Engine index definitions against the framework fields, then engine field definitions and,
// unless the table is temporary, their constraints.
void BuildEngineDefinitions(const TFieldDefs& field_defs, const TABSAdvFieldDefs& adv_fields,
                            const TABSAdvIndexDefs& adv_indexes, bool temporary_table,
                            TABSTableDefinitions& engine);

}  // namespace tabshift

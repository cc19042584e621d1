// The engine's metadata definitions in one include: field, index and constraint definitions,
// their lists and stored form, and the component-level definitions with their conversions.
#pragma once

#include "engine/access/ABSBaseAdvDefs.h"
#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/access/ABSBaseFieldDefs.h"
#include "engine/access/ABSBaseIndexDefs.h"
#include "engine/access/ABSBaseMetaObjects.h"

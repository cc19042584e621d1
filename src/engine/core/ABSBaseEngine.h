// The engine's table and database objects with their managers, for the cursor layer.
#pragma once

#include "engine/core/ABSConstraintManager.h"
#include "engine/core/ABSCursorState.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSFieldManager.h"
#include "engine/core/ABSIndexManager.h"
#include "engine/core/ABSRecordBitmap.h"
#include "engine/core/ABSRecordManager.h"
#include "engine/core/ABSTableData.h"

// The Udb reader's components: file sets, tables and fields, and their error class.
#pragma once

#include "udb/UdbError.h"
#include "udb/UdbFile.h"
#include "udb/UdbTable.h"

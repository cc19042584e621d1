// The content of a Udb table as CSV, in the form the udbdump program prints it: a line of field
// names, then one line per record; integers in decimal, doubles with up to 15 significant
// digits, dates as dd.mm.yyyy, texts as they are, fixed bytes as upper-case hex of all their
// declared bytes, BLOBs as their length. A value holding a comma, a double quote or a line break
// is enclosed in double quotes, its double quotes doubled.
#pragma once

#include <string>
#include <vector>

#include "UdbWriter.h"

namespace tabshift::udbgen {

std::string CsvHeader(const std::vector<FieldSpec>& fields);
std::string CsvLine(const std::vector<FieldSpec>& fields, const Row& row);
// A day number as dd.mm.yyyy.
std::string DayText(int32_t day);

}  // namespace tabshift::udbgen

#include "udb/UdbError.h"

#include <array>
#include <utility>

namespace tabshift::udb {
namespace {

constexpr std::array<std::pair<int32_t, const char*>, 29> kTexts{{
    {1, "Can not open file"},
    {2, "This file is not UDB"},
    {3, "Unknown decoder version"},
    {4, "Wrong password"},
    {5, "Older database version"},
    {6, "Can not perform this operation on an open database"},
    {7, "Can not perform this operation on an closed database"},
    {8, "Wrong open mode"},
    {9, "Incorrect field type"},
    {10, "Too many tables or fields"},
    {11, "Too large record size"},
    {12, "Too small page size"},
    {13, "Table not found"},
    {14, "Field not found"},
    {15, "Record not found"},
    {16, "File write error"},
    {17, "File read error"},
    {18, "Table head is corrupted"},
    {19, "Break operation"},
    {20, "Page is corrupted"},
    {21, "Back page is corrupted"},
    {22, "Not in edit mode"},
    {23, "Value is not valid"},
    {24, "Sort error has been detected"},
    {25, "Edit mode has not been posted"},
    {26, "Can not perform this operation on an open table"},
    {27, "Can not perform this operation on an closed table"},
    {28, "Can not edit key field in packet mode"},
    {50, "File lock error"},
}};

std::string Cut(std::string_view text, size_t room) {
  return std::string(text.substr(0, room));
}

}  // namespace

std::string UdbErrorText(int32_t code) {
  for (const auto& [known, text] : kTexts) {
    if (known == code) return text;
  }
  return "Error " + std::to_string(code);
}

std::string EUdbError::ComposeMessage(int32_t code, std::string_view file, std::string_view table,
                                      std::string_view field) {
  std::string text = UdbErrorText(code);
  const std::string f(file), t(table), d(field);
  switch (code) {
    case 1:
    case 2:
    case 6:
    case 7:
    case 16:
    case 17:
    case 50:
      return text + ": " + f;
    case 3:
    case 4:
    case 5:
    case 8:
      return text + ", file: " + f;
    case 9:
    case 14:
      return text + ", file: " + f + ", table: " + t + ", field: " + d;
    case 11:
    case 12:
    case 22:
    case 25:
      return text + ", table: " + t;
    case 13:
    case 15:
    case 18:
    case 20:
    case 24:
    case 28:
      return text + ", file: " + f + ", table: " + t;
    case 23:
      return text + ", table: " + t + ", field: " + d;
    case 26:
      return text + ": " + t + ", file: " + f;
    case 27:
      return text + ": " + t + ", alias: " + f;
    default:
      return text;
  }
}

EUdbError::EUdbError(int32_t code, std::string_view file, std::string_view table,
                     std::string_view field)
    : Exception(
          ComposeMessage(code, Cut(file, kMaxFile), Cut(table, kMaxTable), Cut(field, kMaxField))),
      code_(code),
      file_(Cut(file, kMaxFile)),
      table_(Cut(table, kMaxTable)),
      field_(Cut(field, kMaxField)) {}

}  // namespace tabshift::udb

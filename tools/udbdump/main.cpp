// udbdump: prints the catalogue of a Udb file set, or dumps its tables as CSV, for support
// engineers. Errors are printed as the reader's error text; the exit code is then 1.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "framework/CommandLine.h"
#include "framework/Stream.h"
#include "platform/FileSystem.h"
#include "udb/Udb.h"

namespace {

using namespace tabshift;
using namespace tabshift::udb;

constexpr const char* kUsage =
    "Usage: udbdump FILE [--password P] [-aqtime] [--table NAME | --all]\n"
    "               [--blobs length|hex|DIRECTORY]\n"
    "Without --table or --all the catalogue is printed. --table dumps one table, --all every\n"
    "table, as CSV. BLOBs appear as their length, as hex, or are written into DIRECTORY as\n"
    "TABLE.RECORD.FIELD.bin. -aqtime reads files written with the pass-through decoder.\n";

struct Options {
  std::string file;
  std::string password;
  std::string table;
  bool all = false;
  std::string blobs = "length";
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--password" && has_value) {
      options.password = argv[++i];
    } else if (argument == "--table" && has_value) {
      options.table = argv[++i];
    } else if (argument == "--blobs" && has_value) {
      options.blobs = argv[++i];
    } else if (argument == "--all") {
      options.all = true;
    } else if (argument == "-aqtime" || argument == "/aqtime") {
    } else if (options.file.empty() && !argument.empty() && argument[0] != '-') {
      options.file = argument;
    } else {
      return false;
    }
  }
  return !options.file.empty();
}

std::string Hex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string Quoted(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string text = "\"";
  for (char c : value) {
    if (c == '"') text += '"';
    text += c;
  }
  return text + "\"";
}

std::string BlobCell(TUdbTable& table, TUdbField& field, const Options& options) {
  if (options.blobs == "length") return std::to_string(field.BlobSize());
  TMemoryStream stream;
  field.ReadBlob(stream);
  if (options.blobs == "hex") return Hex(stream.Memory(), static_cast<size_t>(stream.Size()));
  const std::string name = options.blobs + "/" + table.TableName() + "." +
                           std::to_string(table.RecordNumber()) + "." + field.FieldName() + ".bin";
  TFileStream out(name, platform::FileAccess::Write, platform::FileShare::None,
                  platform::FileCreation::CreateAlways);
  out.WriteBuffer(stream.Memory(), static_cast<size_t>(stream.Size()));
  return name;
}

std::string Cell(TUdbTable& table, TUdbField& field, const Options& options) {
  switch (field.FieldType()) {
    case 6: {
      std::vector<uint8_t> bytes(field.FieldSize());
      field.GetData(bytes.data());
      return Hex(bytes.data(), bytes.size());
    }
    case 7:
      return BlobCell(table, field, options);
    default:
      return field.AsString();
  }
}

void DumpTable(const std::string& alias, const std::string& name, const Options& options) {
  TUdbTable table(nullptr);
  table.SetAlias(alias);
  table.SetTableName(name);
  table.Open();
  std::string line;
  for (int i = 0; i < table.FieldCount(); ++i) {
    if (i > 0) line += ',';
    line += Quoted(table.Fields(i).FieldName());
  }
  std::cout << line << '\n';
  for (table.First(); table.FetchNext();) {
    line.clear();
    for (int i = 0; i < table.FieldCount(); ++i) {
      if (i > 0) line += ',';
      line += Quoted(Cell(table, table.Fields(i), options));
    }
    std::cout << line << '\n';
  }
}

void PrintCatalogue(TUdbFile& file) {
  for (int t = 0; t < file.TableCount(); ++t) {
    const TUdbCatalogueEntry entry = file.GetTableInfo(t);
    TUdbTable table(nullptr);
    table.SetAlias(file.Alias());
    table.SetTableName(entry.name);
    table.Open();
    std::cout << "Table " << entry.name << ": key fields " << int{entry.key_field_count}
              << ", page size " << entry.page_size << ", records " << table.RecordCount()
              << ", version " << table.TableVersion() << '\n';
    for (int i = 0; i < table.FieldCount(); ++i) {
      TUdbField& field = table.Fields(i);
      std::cout << "  " << field.FieldName() << " type " << int{field.FieldType()} << " size "
                << field.FieldSize() << '\n';
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return 1;
  }
  try {
    TUdbFile file(nullptr);
    file.SetAlias("udbdump");
    file.SetFileName(options.file);
    file.SetMode(TOpenMode::ReadOnly);
    file.SetPassword(options.password);
    file.Open();
    if (options.all) {
      for (int t = 0; t < file.TableCount(); ++t) {
        if (t > 0) std::cout << '\n';
        DumpTable(file.Alias(), file.GetTableInfo(t).name, options);
      }
    } else if (!options.table.empty()) {
      DumpTable(file.Alias(), options.table, options);
    } else {
      PrintCatalogue(file);
    }
  } catch (const Exception& error) {
    std::cout.flush();
    std::cerr << error.Message() << '\n';
    return 1;
  }
  return 0;
}

// udbgen: writes a deterministic synthetic Udb file set for samples and benchmarks, and on
// request its content as CSV files to compare with what udbdump prints.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CsvExport.h"
#include "SyntheticSet.h"

namespace {

using namespace tabshift::udbgen;

constexpr const char* kUsage =
    "Usage: udbgen [--out FILE] [--csv DIRECTORY] [--print TABLE] [--rows N] [--tables N]\n"
    "              [--seed S]\n"
    "              [--format-version 0-3] [--password P | --plain]\n"
    "              [--page-index auto|always|never]\n"
    "Writes a synthetic Udb file set (--out), its content as one CSV file per table (--csv),\n"
    "or one table's content as CSV on standard output (--print). The same options and seed always "
    "give the same content. --rows is the row\n"
    "count of the first table (default 1000); --tables 1 to 255 (default 4); the password\n"
    "defaults to the empty text; --plain uses the pass-through decoder.\n";

struct Arguments {
  SyntheticOptions options;
  std::string out;
  std::string csv;
  std::string print;
};

uint64_t Number(const std::string& text, const std::string& name) {
  size_t used = 0;
  const unsigned long long value = std::stoull(text, &used);
  if (used != text.size() || text.empty() || text[0] == '-') {
    throw std::invalid_argument("not a number for " + name + ": " + text);
  }
  return value;
}

PageIndexMode IndexMode(const std::string& text) {
  if (text == "auto") return PageIndexMode::Auto;
  if (text == "always") return PageIndexMode::Always;
  if (text == "never") return PageIndexMode::Never;
  throw std::invalid_argument("--page-index takes auto, always or never");
}

Arguments Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--plain") {
      arguments.options.decoder = DecoderKind::Plain;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + name);
    const std::string value = argv[++i];
    if (name == "--out") {
      arguments.out = value;
    } else if (name == "--csv") {
      arguments.csv = value;
    } else if (name == "--print") {
      arguments.print = value;
    } else if (name == "--rows") {
      arguments.options.rows = Number(value, name);
    } else if (name == "--tables") {
      arguments.options.tables = static_cast<uint32_t>(Number(value, name));
    } else if (name == "--seed") {
      arguments.options.seed = Number(value, name);
    } else if (name == "--format-version") {
      arguments.options.format_version = static_cast<uint16_t>(Number(value, name));
    } else if (name == "--password") {
      arguments.options.password = value;
    } else if (name == "--page-index") {
      arguments.options.page_index = IndexMode(value);
    } else {
      throw std::invalid_argument("unknown option: " + name);
    }
  }
  if (arguments.out.empty() && arguments.csv.empty() && arguments.print.empty()) {
    throw std::invalid_argument("nothing to do: give --out, --csv or --print");
  }
  if (arguments.options.format_version > 3) throw std::invalid_argument("format version 0 to 3");
  return arguments;
}

void WriteTableCsv(std::ostream& out, const SyntheticOptions& options, uint32_t table,
                   const std::vector<FieldSpec>& fields) {
  out << CsvHeader(fields);
  const uint64_t rows = SyntheticRowCount(options, table);
  for (uint64_t i = 0; i < rows; ++i) out << CsvLine(fields, SyntheticRow(options, table, i));
}

void WriteCsv(const std::string& directory, const SyntheticOptions& options) {
  std::filesystem::create_directories(directory);
  const UdbDescription catalogue = SyntheticCatalogue(options);
  for (uint32_t t = 0; t < options.tables; ++t) {
    const std::string path = directory + "/" + catalogue.tables[t].name + ".csv";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    WriteTableCsv(file, options, t, catalogue.tables[t].fields);
    if (!file.flush()) throw std::runtime_error("cannot write " + path);
  }
}

// Table names compare without regard to the case of ASCII letters.
void PrintCsv(const std::string& name, const SyntheticOptions& options) {
  const UdbDescription catalogue = SyntheticCatalogue(options);
  const auto upper = [](std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return text;
  };
  for (uint32_t t = 0; t < options.tables; ++t) {
    if (upper(catalogue.tables[t].name) != upper(name)) continue;
    WriteTableCsv(std::cout, options, t, catalogue.tables[t].fields);
    if (!std::cout.flush()) throw std::runtime_error("cannot write the standard output");
    return;
  }
  throw std::invalid_argument("no table " + name + " in the set");
}

// The summary of a written file, on standard error when standard output carries CSV.
void Report(std::FILE* out, const UdbDescription& catalogue, const UdbFileLayout& layout) {
  for (size_t t = 0; t < layout.tables.size(); ++t) {
    const TableLayout& table = layout.tables[t];
    std::fprintf(out, "%-10s rows %u, record %u bytes, page %u, data pages %zu, BLOB pages %zu%s\n",
                 catalogue.tables[t].name.c_str(), table.record_count, table.record_size,
                 table.page_size, table.data_pages.size(), table.blob_pages.size(),
                 table.page_index != 0 ? ", page index" : "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 1 || (argc == 2 && std::string(argv[1]) == "--help")) {
      std::fputs(kUsage, argc == 1 ? stderr : stdout);
      return argc == 1 ? 1 : 0;
    }
    const Arguments arguments = Parse(argc, argv);
    const auto start = std::chrono::steady_clock::now();
    if (!arguments.out.empty()) {
      const UdbFileLayout layout = WriteSyntheticFile(arguments.out, arguments.options);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::FILE* out = arguments.print.empty() ? stdout : stderr;
      Report(out, SyntheticCatalogue(arguments.options), layout);
      std::fprintf(out, "%s: %llu bytes in %.2f s\n", arguments.out.c_str(),
                   static_cast<unsigned long long>(layout.file_size), seconds);
    }
    if (!arguments.csv.empty()) WriteCsv(arguments.csv, arguments.options);
    if (!arguments.print.empty()) PrintCsv(arguments.print, arguments.options);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "udbgen: %s\n", error.what());
    return 1;
  }
}

// A deterministic synthetic Udb file set for samples and benchmarks: several tables covering all
// type codes, key fields of one and two columns, page sizes 512 to 8192 (one stored as 0), and
// BLOBs from 0 bytes to several hundred kilobytes. Every value is a function of the seed, the
// table and the row number alone, so the content can be produced again without the file.
#pragma once

#include <cstdint>
#include <string>

#include "UdbWriter.h"

namespace tabshift::udbgen {

struct SyntheticOptions {
  uint64_t rows = 1000;  // rows of the first table; the others are sized from it
  uint32_t tables = 4;   // 1 to 255
  uint64_t seed = 1;
  uint16_t format_version = 3;
  DecoderKind decoder = DecoderKind::Cipher;
  std::string password;
  PageIndexMode page_index = PageIndexMode::Auto;
};

// The catalogue of the set, tables without rows.
UdbDescription SyntheticCatalogue(const SyntheticOptions& options);
uint64_t SyntheticRowCount(const SyntheticOptions& options, uint32_t table);
// Row `index` of a table; the rows of a table come in key order.
Row SyntheticRow(const SyntheticOptions& options, uint32_t table, uint64_t index);

// Streams the whole set to `path`.
UdbFileLayout WriteSyntheticFile(const std::string& path, const SyntheticOptions& options);

}  // namespace tabshift::udbgen

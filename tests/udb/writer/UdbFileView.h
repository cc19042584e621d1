// A plain, test-side reading of a written Udb file: the header, blocks with their checksums,
// the page chains, records and BLOB bytes, read straight from the layout rules so the writer's
// output is checked against the format rather than against itself.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "UdbWriter.h"
#include "support/TempDirectory.h"
#include "udb/Crypts.h"

namespace tabshift::udbgen::testing {

inline uint32_t Get32(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}
inline uint16_t Get16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

class UdbFileView {
 public:
  UdbFileView(std::string path, UdbDescription description)
      : path_(std::move(path)), description_(std::move(description)) {}

  const std::string& path() const { return path_; }

  std::string Bytes() const { return tabshift::testing::ReadWholeFile(path_); }

  std::unique_ptr<udb::TUdbDecoder> Decoder() const {
    if (description_.decoder == DecoderKind::Plain) return std::make_unique<udb::PlainDecoder>();
    auto cipher = std::make_unique<udb::CipherDecoder>();
    cipher->SetKey(description_.password);
    return cipher;
  }

  // The header with bytes 6 on decoded; `checksum_ok` tells whether its checksum holds.
  std::vector<uint8_t> Header(bool& checksum_ok) const {
    const std::string file = Bytes();
    std::vector<uint8_t> header(file.begin(), file.begin() + 0x7C00);
    const std::unique_ptr<udb::TUdbDecoder> decoder = Decoder();
    decoder->Decode(header.data(), 0x7C00, 6);
    checksum_ok = decoder->Checksum(header.data(), 0x7C00, 8) == Get16(&header[6]);
    return header;
  }

  std::vector<uint8_t> Block(uint32_t offset, uint32_t length) const {
    DecodedBlock block = ReadUdbBlock(path_, description_, offset, length);
    EXPECT_TRUE(block.checksum_ok) << "block at " << offset;
    return block.bytes;
  }

  // Whether the checksum in bytes 0 and 1 of a decoded block holds.
  bool ChecksumHolds(const std::vector<uint8_t>& block) const {
    return block.size() > 2 &&
           Decoder()->Checksum(block.data(), static_cast<uint32_t>(block.size()), 2) ==
               Get16(block.data());
  }

  bool BlockIntact(uint32_t offset, uint32_t length) const {
    return ReadUdbBlock(path_, description_, offset, length).checksum_ok;
  }

  // Page offsets found by following the next-page links from `first`, `count` pages long; the
  // last page must link to the missing-page marker.
  std::vector<uint32_t> Chain(uint32_t first, uint32_t count, uint32_t page_size) const {
    std::vector<uint32_t> pages;
    uint32_t offset = first;
    for (uint32_t i = 0; i < count; ++i) {
      pages.push_back(offset);
      offset = Get32(&Block(offset, page_size)[2]);
    }
    if (count > 0) {
      EXPECT_EQ(offset, 0x7FFFFFFFu);
    }
    return pages;
  }

  std::vector<uint8_t> Record(const TableLayout& table, uint32_t n) const {
    const uint32_t page = n / table.records_per_page;
    const std::vector<uint8_t> bytes = Block(table.data_pages.at(page), table.page_size);
    const size_t at = 6 + (n % table.records_per_page) * table.record_size;
    return {bytes.begin() + at, bytes.begin() + at + table.record_size};
  }

  // The bytes of a BLOB, read by the raw-position rule of the BLOB space.
  std::string Blob(const TableLayout& table, uint32_t length, uint32_t start) const {
    std::string bytes;
    const uint32_t size = table.page_size;
    uint64_t q = start % size;
    uint64_t s = start;
    if (q < 6) {
      s = start - q + 6;
      q = 0;
    } else {
      q -= 6;
    }
    while (bytes.size() < length) {
      const uint64_t a = bytes.size();
      const uint64_t position = s + a + 6 * ((a + q) / (size - 6));
      const uint64_t chunk = std::min<uint64_t>(length - a, size - position % size);
      const std::vector<uint8_t> page = Block(table.blob_pages.at(position / size), size);
      bytes.append(reinterpret_cast<const char*>(&page[position % size]), chunk);
    }
    return bytes;
  }

 private:
  std::string path_;
  UdbDescription description_;
};

}  // namespace tabshift::udbgen::testing

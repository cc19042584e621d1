// Reading and changing single blocks of a written file set.
#include <stdexcept>

#include "UdbBlockCodec.h"
#include "UdbStreamWriter.h"
#include "UdbWriter.h"
#include "platform/File.h"

namespace tabshift::udbgen {
namespace {

// One open file set with its block rules.
class BlockFile {
 public:
  BlockFile(const std::string& path, const UdbDescription& description, bool writable)
      : codec_(description) {
    const auto access = writable ? platform::FileAccess::ReadWrite : platform::FileAccess::Read;
    if (!file_.Open(path, access, platform::FileShare::ReadWrite,
                    platform::FileCreation::OpenExisting)) {
      throw std::runtime_error("cannot open " + path + ": " +
                               platform::ErrorMessage(file_.LastError()));
    }
  }

  UdbBlockCodec& Codec() { return codec_; }

  std::vector<uint8_t> Read(uint32_t offset, uint32_t length) {
    std::vector<uint8_t> bytes(length);
    if (length < 2 || file_.ReadAt(offset, bytes.data(), length) != int64_t{length}) {
      throw std::runtime_error("cannot read " + std::to_string(length) + " bytes at " +
                               std::to_string(offset) + " of " + file_.Path());
    }
    return bytes;
  }

  void Write(uint32_t offset, const std::vector<uint8_t>& bytes) {
    if (file_.WriteAt(offset, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size())) {
      throw std::runtime_error("cannot write " + file_.Path());
    }
  }

 private:
  platform::File file_;
  UdbBlockCodec codec_;
};

}  // namespace

DecodedBlock ReadUdbBlock(const std::string& path, const UdbDescription& description,
                          uint32_t offset, uint32_t length) {
  BlockFile file(path, description, false);
  DecodedBlock block{file.Read(offset, length), false};
  file.Codec().Decode(block.bytes, block.checksum_ok);
  return block;
}

void EditUdbBlock(const std::string& path, const UdbDescription& description, uint32_t offset,
                  uint32_t length, const BlockEdit& edit) {
  BlockFile file(path, description, true);
  std::vector<uint8_t> block = file.Read(offset, length);
  bool checksum_ok = false;
  file.Codec().Decode(block, checksum_ok);
  edit(block);
  file.Codec().Encode(block);
  file.Write(offset, block);
}

void EditUdbHeader(const std::string& path, const UdbDescription& description,
                   const BlockEdit& edit) {
  BlockFile file(path, description, true);
  std::vector<uint8_t> header = file.Read(0, kHeaderSize);
  bool checksum_ok = false;
  file.Codec().DecodeHeader(header, checksum_ok);
  edit(header);
  file.Codec().EncodeHeader(header);
  file.Write(0, header);
}

void CorruptUdbBlock(const std::string& path, const UdbDescription& description, uint32_t offset,
                     uint32_t length) {
  BlockFile file(path, description, true);
  file.Write(offset, file.Codec().Garbage(length));
}

}  // namespace tabshift::udbgen

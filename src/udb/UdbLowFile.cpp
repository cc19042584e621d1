#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/System.h"
#include "udb/Crypts.h"
#include "udb/UdbLow.h"

namespace tabshift::udb {

using namespace low;

namespace {

constexpr std::string_view kRawPagesPassword = "**RAWPAGES**";
constexpr size_t kMaxPassword = 128;

bool KnownModeWord(uint16_t mode) {
  return mode == kModeShare || mode == kModeReadOnly || mode == kModeDenyWrite ||
         mode == kModeExclusive;
}

platform::FileAccess AccessOf(uint16_t mode) {
  return (mode & 0x0F) == 0 ? platform::FileAccess::Read : platform::FileAccess::ReadWrite;
}

platform::FileShare SharingOf(uint16_t mode) {
  switch (mode & 0x70) {
    case 0x10:
      return platform::FileShare::None;
    case 0x20:
      return platform::FileShare::Read;
    default:
      return platform::FileShare::ReadWrite;
  }
}

// The catalogue's page size: low 9 bits cleared, 0 standing for 4096.
uint32_t PageSizeOf(uint16_t stored) {
  const uint32_t size = stored & ~0x1FFu;
  return size == 0 ? kDefaultPageSize : size;
}

}  // namespace

TUdbFileEngine::TUdbFileEngine() : decoder_(NewFileSetDecoder()) {}

TUdbFileEngine::~TUdbFileEngine() {
  Close();
}

int32_t TUdbFileEngine::SetFileName(const std::string& name) {
  if (open_) return kUdbFileOpen;
  file_name_ = name;
  return kUdbOk;
}

int32_t TUdbFileEngine::SetPassword(std::string_view password) {
  if (open_) return kUdbFileOpen;
  password = password.substr(0, kMaxPassword);
  if (password == kRawPagesPassword) {
    decoder_ = std::make_unique<PlainDecoder>();
    return kUdbOk;
  }
  password_ = password;
  decoder_->SetKey(password_);
  return kUdbOk;
}

int32_t TUdbFileEngine::SetModeWord(uint16_t mode) {
  if (open_) return kUdbFileOpen;
  if (!KnownModeWord(mode_)) return kUdbWrongMode;
  mode_ = mode;
  return kUdbOk;
}

int32_t TUdbFileEngine::SetTapePath(const std::string& path) {
  if (open_) return kUdbFileOpen;
  tape_path_ = path;
  return kUdbOk;
}

int32_t TUdbFileEngine::Open() {
  if (open_) return kUdbOk;
  if (!handle_.Open(file_name_, AccessOf(mode_), SharingOf(mode_),
                    platform::FileCreation::OpenExisting)) {
    return kUdbCannotOpen;
  }
  std::vector<uint8_t> header(kHeaderSize);
  int32_t result = CheckHeader(header);
  if (result == kUdbOk) result = BuildTables(header);
  if (result == kUdbOk && !tape_path_.empty() && !tape_.Start(tape_path_)) {
    result = kUdbWriteError;
  }
  if (result != kUdbOk) {
    open_ = false;
    tables_.clear();
    tape_.Close();
    handle_.Close();
    return result;
  }
  if (mode_ == kModeShare || mode_ == kModeReadOnly) {
    head_area_.Map(handle_, kHeadArray, data_area_start_ - kHeadArray);
  }
  for (auto& table : tables_) table->OpenCheck();
  return kUdbOk;
}

// A file shorter than the header cannot be a Udb file.
int32_t TUdbFileEngine::CheckHeader(std::vector<uint8_t>& header) {
  if (handle_.ReadAt(0, header.data(), header.size()) != static_cast<int64_t>(header.size())) {
    return kUdbNotUdb;
  }
  if (Get32(header.data()) != kMagic) return kUdbNotUdb;
  if (Get16(header.data() + 4) != decoder_->Version()) return kUdbUnknownDecoder;
  decoder_->Decode(header.data(), kHeaderSize, kHeaderEncodedStart);
  if (decoder_->Checksum(header.data(), kHeaderSize, kHeaderChecksumStart) !=
      Get16(header.data() + 6)) {
    return kUdbWrongPassword;
  }
  const uint32_t table_count = header[10];
  for (uint32_t t = 0; t < table_count; ++t) {
    const uint8_t* entry = header.data() + kDirectoryStart + kDirectoryEntrySize * t;
    if (entry[0] > kMaxTableName || (Get16(entry + 26) & 0x1FF) != 0 || entry[25] > entry[28]) {
      return kUdbWrongPassword;
    }
  }
  if (Get16(header.data() + 8) > kNewestFormat) return kUdbOlderVersion;
  return kUdbOk;
}

// Descriptors that run past the header end make the catalogue unreadable (code 10).
int32_t TUdbFileEngine::BuildTables(const std::vector<uint8_t>& header) {
  format_version_ = Get16(header.data() + 8);
  tables_.clear();
  const uint32_t table_count = header[10];
  uint32_t descriptor = kDirectoryStart + kDirectoryEntrySize * table_count;
  uint32_t base = kHeadArray + kHeadSize * table_count;
  for (uint32_t t = 0; t < table_count; ++t) {
    const uint8_t* entry = header.data() + kDirectoryStart + kDirectoryEntrySize * t;
    TUdbTableInfo info;
    info.name.assign(reinterpret_cast<const char*>(entry + 1), entry[0]);
    info.key_field_count = entry[25];
    info.page_size = PageSizeOf(Get16(entry + 26));
    for (uint32_t f = 0; f < entry[28]; ++f) {
      if (descriptor >= kHeaderSize) return kUdbTooManyTables;
      const uint32_t name_length = header[descriptor];
      const uint32_t size = format_version_ < 3 ? kLongDescriptorSize : name_length + 4;
      if (descriptor + size > kHeaderSize) return kUdbTooManyTables;
      const uint8_t* at = header.data() + descriptor;
      const uint32_t type_at = format_version_ < 3 ? 1 + kMaxFieldName : 1 + name_length;
      TUdbFieldInfo field;
      field.name.assign(reinterpret_cast<const char*>(at + 1),
                        std::min<uint32_t>(name_length, type_at - 1));
      field.type = at[type_at];
      field.size = Get16(at + type_at + 1);
      field.offset = info.record_size;
      info.record_size += field.size;
      info.fields.push_back(std::move(field));
      descriptor += size;
    }
    const uint32_t page_size = info.page_size;
    tables_.push_back(std::make_unique<TUdbTableEngine>(*this, t, base, std::move(info)));
    base += page_size + kHeadSize;
  }
  data_area_start_ = base;
  open_ = true;
  return kUdbOk;
}

void TUdbFileEngine::Close() {
  if (!open_) return;
  tables_.clear();
  Flush();
  head_area_.Unmap();
  handle_.Close();
  tape_.Close();
  append_lock_count_ = 0;
  open_ = false;
}

void TUdbFileEngine::Flush() {
  if (modified_ && handle_.Flush()) modified_ = false;
}

int32_t TUdbFileEngine::ReadTwice(uint32_t offset, uint8_t* buffer, uint32_t length) {
  const int64_t got = handle_.ReadAt(offset, buffer, length);
  if (got == static_cast<int64_t>(length)) return kUdbOk;
  const int64_t size = handle_.Size();
  return size >= 0 && static_cast<uint64_t>(size) >= uint64_t{offset} + length ? kUdbReadError
                                                                               : kUdbPageCorrupted;
}

int32_t TUdbFileEngine::BlockRead(uint32_t offset, uint8_t* buffer, uint32_t length) {
  int32_t result = ReadTwice(offset, buffer, length);
  if (result != kUdbOk) return result;
  decoder_->Decode(buffer, length, 0);
  const uint16_t stored = Get16(buffer);
  const uint16_t sum = decoder_->Checksum(buffer, length, 2);
  if (stored == sum) return kUdbOk;
  // A mismatch read the same way twice is a corrupted block; otherwise the read is unstable.
  second_read_.resize(length);
  result = ReadTwice(offset, second_read_.data(), length);
  if (result != kUdbOk) return result;
  decoder_->Decode(second_read_.data(), length, 0);
  if (Get16(second_read_.data()) != stored ||
      decoder_->Checksum(second_read_.data(), length, 2) != sum) {
    return kUdbReadError;
  }
  return kUdbPageCorrupted;
}

// The mapped head area answers only "still the remembered bytes?"; any other content, and any
// failure to read the area, takes the full way of a block read with its result codes.
bool TUdbFileEngine::UnchangedInHeadArea(uint32_t offset, uint32_t length,
                                         const TUdbReadMemo& memo) {
  if (!memo.valid || !memo.viewable || !head_area_.IsMapped()) return false;
  raw_read_.resize(length);
  return head_area_.Read(offset, raw_read_.data(), length) && raw_read_ == memo.stored;
}

// A block whose first read fails its checksum goes through the full rule of BlockRead.
int32_t TUdbFileEngine::BlockReadRemembered(uint32_t offset, uint8_t* buffer, uint32_t length,
                                            TUdbReadMemo& memo) {
  if (UnchangedInHeadArea(offset, length, memo)) {
    std::memcpy(buffer, memo.decoded.data(), length);
    return kUdbOk;
  }
  raw_read_.resize(length);
  const int32_t result = ReadTwice(offset, raw_read_.data(), length);
  if (result != kUdbOk) return result;
  if (memo.valid && memo.stored == raw_read_) {
    std::memcpy(buffer, memo.decoded.data(), length);
    return kUdbOk;
  }
  memo.valid = false;
  std::memcpy(buffer, raw_read_.data(), length);
  decoder_->Decode(buffer, length, 0);
  if (decoder_->Checksum(buffer, length, 2) != Get16(buffer)) {
    return BlockRead(offset, buffer, length);
  }
  memo.stored.swap(raw_read_);
  memo.decoded.assign(buffer, buffer + length);
  memo.valid = true;
  memo.viewable =
      std::any_of(memo.stored.begin(), memo.stored.end(), [](uint8_t byte) { return byte != 0; });
  return kUdbOk;
}

int32_t TUdbFileEngine::BlockWrite(uint32_t offset, const uint8_t* buffer, uint32_t length) {
  if (uint64_t{offset} + length >= kWriteLimit) return kUdbWriteError;
  write_buffer_.assign(buffer, buffer + length);
  Put16(write_buffer_.data(), decoder_->Checksum(write_buffer_.data(), length, 2));
  decoder_->Encode(write_buffer_.data(), length, 0);
  if (handle_.WriteAt(offset, write_buffer_.data(), length) != static_cast<int64_t>(length)) {
    return kUdbWriteError;
  }
  modified_ = true;
  return kUdbOk;
}

// Another holder of the byte makes the lock wait, retried every millisecond without limit.
int32_t TUdbFileEngine::LockByte(uint32_t offset) {
  while (!handle_.Lock(offset, 1)) {
    if (handle_.LastError() != EAGAIN) return kUdbLockError;
    platform::SleepMilliseconds(1);
  }
  return kUdbOk;
}

int32_t TUdbFileEngine::UnlockByte(uint32_t offset) {
  while (!handle_.Unlock(offset, 1)) {
    if (handle_.LastError() != EAGAIN) return kUdbReadError;
  }
  return kUdbOk;
}

int32_t TUdbFileEngine::AcquireAppendLock() {
  if (append_lock_count_ == 0 && mode_ != kModeExclusive) {
    const int32_t result = LockByte(kAppendLockByte);
    if (result != kUdbOk) return result;
  }
  ++append_lock_count_;
  return kUdbOk;
}

int32_t TUdbFileEngine::ReleaseAppendLock() {
  if (append_lock_count_ == 0) return kUdbOk;
  if (--append_lock_count_ == 0 && mode_ != kModeExclusive) return UnlockByte(kAppendLockByte);
  return kUdbOk;
}

int32_t TUdbFileEngine::CheckRecord(uint32_t table, uint32_t field, int64_t record) {
  if (!open_) return kUdbFileClosed;
  if (table >= tables_.size()) return kUdbTableNotFound;
  TUdbTableEngine& engine = *tables_[table];
  if (field >= engine.Info().fields.size()) return kUdbFieldNotFound;
  const int32_t result = engine.EnsureHead();
  if (result != kUdbOk) return result;
  if (record < 0 || record >= engine.HeadValue(head::kRecordCount)) return kUdbRecordNotFound;
  if (engine.RecordsPerPage() == 0) return kUdbRecordTooLarge;
  return kUdbOk;
}

int32_t TUdbFileEngine::FieldValue(uint32_t table, uint32_t field, int64_t record,
                                   const uint8_t*& bytes) {
  int32_t result = CheckRecord(table, field, record);
  if (result != kUdbOk) return result;
  TUdbTableEngine& engine = *tables_[table];
  const uint32_t per_page = engine.RecordsPerPage();
  int slot = 0;
  result = engine.LoadPage(kDataChain, static_cast<uint32_t>(record / per_page), slot);
  if (result != kUdbOk) return result;
  bytes = engine.SlotData(slot) + kPageHeader +
          static_cast<uint32_t>(record % per_page) * engine.Info().record_size +
          engine.Info().fields[field].offset;
  return kUdbOk;
}

int32_t TUdbFileEngine::PartialRead(uint32_t table, uint32_t field, int64_t record, uint32_t offset,
                                    uint32_t count, uint8_t* destination, uint32_t& done) {
  done = 0;
  int32_t result = CheckRecord(table, field, record);
  if (result != kUdbOk) return result;
  const TUdbFieldInfo& info = tables_[table]->Info().fields[field];
  if (info.type != 6 && info.type != 7) return kUdbIncorrectFieldType;
  const uint8_t* bytes = nullptr;
  result = FieldValue(table, field, record, bytes);
  if (result != kUdbOk) return result;
  if (info.type == 6) {
    if (offset >= info.size) return kUdbOk;
    done = std::min<uint32_t>(count, info.size - offset);
    std::memcpy(destination, bytes + offset, done);
    return kUdbOk;
  }
  if (info.size < 8) return kUdbIncorrectFieldType;
  const uint32_t length = Get32(bytes);
  const uint32_t start = Get32(bytes + 4);
  if (offset >= length) return kUdbOk;
  count = std::min(count, length - offset);
  result = ReadBlobBytes(*tables_[table], start, offset, count, destination);
  if (result == kUdbOk) done = count;
  return result;
}

// Raw position of BLOB byte a: s + a + 6 * floor((a + q) / (page size - 6)), where s is moved
// past a page header it falls into and q is its distance from the payload start.
int32_t TUdbFileEngine::ReadBlobBytes(TUdbTableEngine& table, uint32_t start, uint32_t offset,
                                      uint32_t count, uint8_t* destination) {
  const uint64_t page_size = table.PageSize();
  const uint64_t payload = page_size - kPageHeader;
  uint64_t s = start;
  uint64_t q = s % page_size;
  if (q < kPageHeader) {
    s += kPageHeader - q;
    q = 0;
  } else {
    q -= kPageHeader;
  }
  const auto raw = [&](uint64_t a) { return s + a + kPageHeader * ((a + q) / payload); };
  const uint64_t pages = table.HeadValue(head::kBlobPages);
  if (raw(uint64_t{offset} + count - 1) / page_size >= pages) return kUdbPageCorrupted;
  uint64_t a = offset;
  while (count > 0) {
    const uint64_t position = raw(a);
    const uint32_t within = static_cast<uint32_t>(position % page_size);
    const uint32_t chunk = std::min<uint32_t>(count, static_cast<uint32_t>(page_size) - within);
    int slot = 0;
    const int32_t result =
        table.LoadPage(kBlobChain, static_cast<uint32_t>(position / page_size), slot);
    if (result != kUdbOk) return result;
    std::memcpy(destination, table.SlotData(slot) + within, chunk);
    destination += chunk;
    a += chunk;
    count -= chunk;
  }
  return kUdbOk;
}

}  // namespace tabshift::udb

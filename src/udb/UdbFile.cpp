#include <algorithm>

#include "framework/Text.h"
#include "udb/UdbTable.h"

namespace tabshift::udb {

using namespace low;

std::function<bool(TUdbFile&)> PasswordRetryHook = [](TUdbFile&) { return false; };

namespace {

constexpr uint16_t kModeWords[] = {kModeShare, kModeReadOnly, kModeDenyWrite, kModeExclusive};

// File sets still registered when the process ends are closed, so their locks are released
// and their writes flushed; their memory belongs to whoever created them.
class Registry {
 public:
  ~Registry() {
    while (!files.empty()) {
      TUdbFile* file = files.back();
      files.pop_back();
      file->Close();
    }
  }
  std::vector<TUdbFile*> files;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TUdbFile::TUdbFile(TComponent* owner) : TComponent(owner) {
  TheRegistry().files.push_back(this);
}

TUdbFile::~TUdbFile() {
  Close();
  auto& files = TheRegistry().files;
  files.erase(std::remove(files.begin(), files.end(), this), files.end());
}

const std::vector<TUdbFile*>& TUdbFile::Registered() {
  return TheRegistry().files;
}

TUdbFile* TUdbFile::FindByAlias(std::string_view alias) {
  if (alias.empty()) return nullptr;
  for (TUdbFile* file : TheRegistry().files) {
    if (SameText(file->alias_, alias)) return file;
  }
  return nullptr;
}

std::string TUdbFile::QualifiedName() const {
  if (Owner() != nullptr) return Owner()->Name() + "." + Name();
  return Name();
}

void TUdbFile::SetAlias(const std::string& alias) {
  if (alias == alias_) return;
  if (!alias.empty()) {
    for (TUdbFile* other : TheRegistry().files) {
      if (other != this && SameText(other->alias_, alias)) {
        throw Exception("Alias <" + alias + "> already exist: " + other->QualifiedName());
      }
    }
  }
  alias_ = alias;
}

void TUdbFile::SetFileName(const std::string& name) {
  CheckUdb(engine_.SetFileName(name.substr(0, 255)));
}

void TUdbFile::SetTapePath(const std::string& path) {
  CheckUdb(engine_.SetTapePath(path));
}

int TUdbFile::Mode() const {
  for (int mode = 0; mode < 4; ++mode) {
    if (kModeWords[mode] == engine_.ModeWord()) return mode;
  }
  return 4;
}

void TUdbFile::SetMode(TOpenMode mode) {
  const uint16_t word = kModeWords[static_cast<int>(mode) & 3];
  if (word == engine_.ModeWord()) return;
  CheckUdb(engine_.SetModeWord(word));
}

void TUdbFile::SetPassword(std::string_view password) {
  CheckUdb(engine_.SetPassword(password));
}

bool TUdbFile::CheckUdb(int32_t code, std::string_view table, std::string_view field) {
  if (code == kUdbOk) return false;
  if (code == kUdbWrongPassword && PasswordRetryHook && PasswordRetryHook(*this)) return true;
  throw EUdbError(code, FileName(), table, field);
}

void TUdbFile::Open() {
  if (Active()) return;
  if (BeforeOpen) BeforeOpen(*this);
  while (CheckUdb(engine_.Open())) {
  }
}

void TUdbFile::Close() {
  while (!tables_.empty()) tables_.back()->Close();
  if (!engine_.IsOpen()) return;
  if (BeforeClose) BeforeClose(*this);
  engine_.Close();
}

int TUdbFile::TableIndex(std::string_view name) {
  name = name.substr(0, kMaxTableName);
  for (int index = 0; index < TableCount(); ++index) {
    if (SameText(engine_.Table(static_cast<size_t>(index)).Info().name, name)) return index;
  }
  throw EUdbError(kUdbTableNotFound, FileName(), name, "");
}

TUdbCatalogueEntry TUdbFile::GetTableInfo(int index) {
  if (index < 0 || index >= TableCount()) {
    throw EUdbError(kUdbTableNotFound, FileName(), "N " + std::to_string(index), "");
  }
  const TUdbTableEngine& table = engine_.Table(static_cast<size_t>(index));
  return {table.Info().name, static_cast<uint16_t>(table.PageSize()), table.Info().key_field_count};
}

void TUdbFile::Attach(TUdbTable* table) {
  if (std::find(tables_.begin(), tables_.end(), table) == tables_.end()) tables_.push_back(table);
}

void TUdbFile::Detach(TUdbTable* table) {
  tables_.erase(std::remove(tables_.begin(), tables_.end(), table), tables_.end());
}

}  // namespace tabshift::udb

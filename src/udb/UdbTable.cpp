#include "udb/UdbTable.h"

#include <algorithm>

namespace tabshift::udb {

using namespace low;

TUdbTable::TUdbTable(TComponent* owner) : TComponent(owner) {}

TUdbTable::~TUdbTable() {
  Close();
}

void TUdbTable::SetAlias(const std::string& alias) {
  if (active_) Check(kUdbTableOpen);
  alias_ = alias.substr(0, 255);
}

void TUdbTable::SetTableName(const std::string& name) {
  if (active_) Check(kUdbTableOpen);
  table_name_ = name.substr(0, kMaxTableName);
}

void TUdbTable::Check(int32_t code, std::string_view field) {
  if (code == kUdbOk) return;
  if (code == kUdbTableClosed) throw EUdbError(code, alias_, table_name_, field);
  throw EUdbError(code, file_ != nullptr ? file_->FileName() : std::string(), table_name_, field);
}

void TUdbTable::Bind() {
  if (file_ != nullptr) return;
  TUdbFile* file = TUdbFile::FindByAlias(alias_);
  if (file == nullptr) throw Exception("Alias <" + alias_ + "> not found. Table: " + Name());
  file_ = file;
  file_->Attach(this);
}

void TUdbTable::Unbind() {
  if (file_ == nullptr) return;
  file_->Detach(this);
  file_ = nullptr;
}

void TUdbTable::Open() {
  if (active_) return;
  Bind();
  file_->Open();
  table_index_ = file_->TableIndex(table_name_);
  const TUdbCatalogueEntry entry = file_->GetTableInfo(table_index_);
  table_name_ = entry.name;
  page_size_ = entry.page_size;
  key_field_count_ = entry.key_field_count;
  TUdbTableEngine& engine = file_->Engine().Table(static_cast<size_t>(table_index_));
  record_size_ = engine.Info().record_size;
  records_per_page_ = engine.RecordsPerPage();
  for (size_t i = 0; i < engine.Info().fields.size(); ++i) {
    fields_.push_back(new TUdbField(*this, static_cast<int>(i)));
  }
  active_ = true;
  range_start_.clear();
  range_end_.clear();
  try {
    ComputeRange();
    First();
  } catch (...) {
    Close();
    throw;
  }
}

void TUdbTable::Close() {
  Unbind();
  while (!fields_.empty()) {
    delete fields_.back();
    fields_.pop_back();
  }
  active_ = false;
}

uint32_t TUdbTable::TableVersion() {
  if (!active_ || file_ == nullptr) Check(kUdbTableClosed);
  if (!file_->Active()) Check(kUdbFileClosed);
  uint32_t version = 0;
  Check(file_->Engine().Table(static_cast<size_t>(table_index_)).ReadVersion(version));
  return version;
}

void TUdbTable::ComputeRange() {
  cached_version_ = TableVersion();
  low_ = 0;
  TUdbTableEngine& engine = file_->Engine().Table(static_cast<size_t>(table_index_));
  Check(engine.EnsureHead());
  high_ = engine.HeadValue(head::kRecordCount);
  if (high_ < low_) high_ = low_;
}

int64_t TUdbTable::RecordCount() {
  if (TableVersion() != cached_version_) ComputeRange();
  return high_ - low_;
}

void TUdbTable::First() {
  position_ = 0;
  end_ = start_ = RecordCount() == 0;
  last_fetched_ = -1;
}

void TUdbTable::Next() {
  if (position_ < RecordCount() - 1) {
    ++position_;
  } else {
    end_ = true;
  }
}

bool TUdbTable::FetchNext() {
  if (last_fetched_ != -1) Next();
  last_fetched_ = position_;
  return !end_;
}

TUdbTable* OpenUdbTable(const std::string& alias, const std::string& table_name, bool open) {
  auto* table = new TUdbTable(nullptr);
  try {
    table->SetAlias(alias);
    table->SetTableName(table_name);
    if (open) {
      table->Open();
      table->First();
    }
  } catch (...) {
    delete table;
    throw;
  }
  return table;
}

}  // namespace tabshift::udb

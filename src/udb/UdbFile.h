// TUdbFile: the component through which the program opens a Udb file set. It names the main
// file, carries password, open mode and tape path, lists the catalogue's tables and registers
// itself process-wide so that tables can find it by alias.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Component.h"
#include "udb/UdbError.h"
#include "udb/UdbLow.h"

namespace tabshift::udb {

class TUdbTable;

enum class TOpenMode : uint8_t { Share = 0, ReadOnly = 1, DenyWrite = 2, Exclusive = 3 };

struct TUdbCatalogueEntry {
  std::string name;
  uint16_t page_size = 0;
  uint8_t key_field_count = 0;
};

class TUdbFile : public TComponent {
 public:
  using Event = std::function<void(TUdbFile&)>;

  explicit TUdbFile(TComponent* owner = nullptr);
  ~TUdbFile() override;
  const char* ClassName() const override { return "TUdbFile"; }

  bool Active() const { return engine_.IsOpen(); }
  void SetActive(bool active) { active ? Open() : Close(); }
  void Open();
  void Close();

  const std::string& Alias() const { return alias_; }
  void SetAlias(const std::string& alias);
  const std::string& FileName() const { return engine_.FileName(); }
  void SetFileName(const std::string& name);
  const std::string& TapePath() const { return engine_.TapePath(); }
  void SetTapePath(const std::string& path);
  // 0 to 3 for the four modes; 4 for a stored mode word outside them.
  int Mode() const;
  void SetMode(TOpenMode mode);
  void SetPassword(std::string_view password);

  Event BeforeOpen;
  Event BeforeClose;

  int TableCount() const { return static_cast<int>(engine_.TableCount()); }
  int TableIndex(std::string_view name);
  TUdbCatalogueEntry GetTableInfo(int index);

  // Nothing for 0. For code 4, true (and no error) when the password retry hook asks for
  // another attempt. Otherwise raises EUdbError naming this file set's file.
  bool CheckUdb(int32_t code, std::string_view table = {}, std::string_view field = {});

  TUdbFileEngine& Engine() { return engine_; }
  void Attach(TUdbTable* table);
  void Detach(TUdbTable* table);

  // The registry of every file set in creation order.
  static TUdbFile* FindByAlias(std::string_view alias);
  static const std::vector<TUdbFile*>& Registered();

 private:
  std::string QualifiedName() const;

  std::string alias_;
  TUdbFileEngine engine_;
  std::vector<TUdbTable*> tables_;
};

// Asked after a wrong password; returning true makes the open try again. Returns false unless
// replaced.
extern std::function<bool(TUdbFile&)> PasswordRetryHook;

}  // namespace tabshift::udb

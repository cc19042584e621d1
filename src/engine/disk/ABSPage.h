// One page of a paged store held in memory, and the base of the wrappers that interpret a
// page's data area. A page's buffer starts with the page header (40 bytes in the database file,
// none in the memory engines); the rest is the data area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/ABSMemory.h"

namespace tabshift {

class TABSPageManager;
class TABSSortedPageList;

// Native error codes of the page manager and its pages.
namespace page_error {
inline constexpr int32_t kInvalidPageNumber = 20064;     // "Invalid page number"
inline constexpr int32_t kNotDirtyAtCommit = 20085;      // "Invalid page"
inline constexpr int32_t kUsedAtCommit = 20086;          // "Cannot write used page"
inline constexpr int32_t kNotDirtyAtDiscard = 20087;     // "Invalid index page"
inline constexpr int32_t kUsedAtDiscard = 20088;         // "Cannot remove used page"
inline constexpr int32_t kUsedByOtherSession = 20090;    // "Page is used by other session"
inline constexpr int32_t kPendingChanges = 20097;        // "Cannot free non-commited pages"
inline constexpr int32_t kPagesNotReleased = 20152;      // "Some session pages not released"
inline constexpr int32_t kInvalidPageType = 20153;       // "Invalid page type. ..."
inline constexpr int32_t kDeleteFromEmptyList = 20165;   // "TSortedPageList.Delete - no ..."
inline constexpr int32_t kDeleteMissingPage = 20166;     // "TSortedPageList.Delete - ..."
inline constexpr int32_t kTouchMissingPage = 20167;      // "Page not found"
inline constexpr int32_t kInvalidSessionId = 20186;      // "Invalid Session ID"
inline constexpr int32_t kReadFailed = 20299;            // "Error reading database file page..."
inline constexpr int32_t kEnlargeWithoutBuffer = 20038;  // "Invalid page buffer. Buffer is Nil"
inline constexpr int32_t kEnlargeBelowPageSize = 20039;  // "Invalid page modification"
}  // namespace page_error

// The fields of the page header that every engine with page headers shares.
namespace page_header {
inline constexpr uint16_t kSize = 40;
inline constexpr size_t kWriteCounterOffset = 4;  // int32
inline constexpr size_t kPageTypeOffset = 8;      // uint16
// Passed as the expected type of a fetch to accept a page of any type; never stored.
inline constexpr uint8_t kAnyPageType = 255;
// Written over the counter of a freed page; in memory it marks a page whose read failed.
inline constexpr int32_t kFreedWriteCounter = 2147483647;
}  // namespace page_header

// Session ids with a fixed meaning.
inline constexpr int32_t kInvalidSessionId = -1;
inline constexpr int32_t kDatabaseSessionId = -2;  // work done on behalf of the database itself

// Ids below the database's own id have no slot in the per-session page stamps either.
inline constexpr bool IsValidSessionId(int32_t session) {
  return session >= kDatabaseSessionId && session != kInvalidSessionId;
}

class TABSPage {
 public:
  explicit TABSPage(TABSPageManager& manager) : manager_(manager) {}
  TABSPage(const TABSPage&) = delete;
  TABSPage& operator=(const TABSPage&) = delete;

  TABSPageManager& Manager() const { return manager_; }
  int32_t PageNo() const { return page_no_; }
  void SetPageNo(int32_t page_no) { page_no_ = page_no; }

  bool HasBuffer() const { return buffer_ != nullptr; }
  // A zero-filled buffer of the page size, owned by the page.
  void AllocateBuffer();
  // Works on `buffer` (at least the page size) without owning it.
  void LendBuffer(uint8_t* buffer);
  bool OwnsBuffer() const { return buffer_ == owned_.data(); }
  uint8_t* Buffer() const { return buffer_; }
  size_t BufferSize() const { return buffer_size_; }
  // The part of the buffer after the page header.
  uint8_t* Data() const;
  // Makes room beyond the page for callers that rearrange its contents; a lent buffer is
  // copied into an owned one first.
  void Enlarge(size_t size);

  // Header fields; only for pages of an engine with page headers.
  uint16_t PageType() const;
  void SetPageType(uint16_t page_type);
  int32_t WriteCounter() const;
  void SetWriteCounter(int32_t counter);

  bool Dirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  int32_t UseCount() const { return use_count_; }
  void SetUseCount(int32_t use_count) { use_count_ = use_count; }
  int32_t OwnerSession() const { return owner_session_; }
  void SetOwnerSession(int32_t session) { owner_session_ = session; }
  bool ReadDuringUse() const { return read_during_use_; }
  void SetReadDuringUse(bool value) { read_during_use_ = value; }
  bool EncryptOnWrite() const { return encrypt_on_write_; }
  void SetEncryptOnWrite(bool value) { encrypt_on_write_ = value; }
  // The list that holds the page: the shared cache, a change set, or none.
  TABSSortedPageList* CurrentList() const { return current_list_; }
  void SetCurrentList(TABSSortedPageList* list) { current_list_ = list; }

  // The stamp under which `session` last found the page current; false when it has none.
  bool FreshnessStamp(int32_t session, int32_t& stamp) const;
  void SetFreshnessStamp(int32_t session, int32_t stamp);
  void InvalidateFreshness(int32_t session);

 private:
  struct Freshness {
    int32_t stamp = 0;
    bool valid = false;
  };

  TABSPageManager& manager_;
  int32_t page_no_ = -1;
  TABSMemoryBlock owned_;
  uint8_t* buffer_ = nullptr;
  size_t buffer_size_ = 0;
  bool dirty_ = false;
  int32_t use_count_ = 0;
  TABSSortedPageList* current_list_ = nullptr;
  int32_t owner_session_ = kInvalidSessionId;
  bool read_during_use_ = false;
  bool encrypt_on_write_ = true;
  std::vector<Freshness> freshness_;  // indexed by session id + 2
};

// Holds one fetched page for a wrapper that interprets its data area.
class TABSPageController {
 public:
  explicit TABSPageController(TABSPage& page) : page_(&page) {}
  virtual ~TABSPageController() = default;

  TABSPage& Page() const { return *page_; }
  uint8_t* Data() const { return page_->Data(); }
  // Every change to the page must be followed by this, so that the commit writes it.
  void MarkDirty() { page_->SetDirty(true); }

 private:
  TABSPage* page_;
};

}  // namespace tabshift

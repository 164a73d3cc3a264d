// AnswerCache: the answers of earlier runs kept on disk, one file per address, for revalidation.
//
// The store never decides alone that a body is current: the engine sends an entry's validators
// with its request and uses the body only when the server answers 304. Every failure of the store
// (no folder, a read-only or full disk, a damaged file) only makes it find or keep nothing;
// nothing here throws.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_descriptor.h"
#include "web/answer_entry.h"

namespace picsheet {

// One entry found by AnswerCache::Lookup, checked whole and held open: its body stays readable
// as it was at the lookup, whatever another run stores or evicts meanwhile.
class CachedAnswer {
 public:
  CachedAnswer(CachedAnswer&&) noexcept = default;
  CachedAnswer& operator=(CachedAnswer&&) noexcept = default;

  // The answer's address, final address, validators and content type.
  const StoredAnswer& facts() const noexcept { return facts_; }
  std::uint64_t bodyBytes() const noexcept { return bodyBytes_; }

  // The body kept with exactly these facts, read from the file opened at the lookup and checked
  // against its checksum again; nullopt when it can no longer be read whole and intact (or does
  // not fit in memory).
  std::optional<std::string> ReadBody() const noexcept;

 private:
  friend class AnswerCache;
  CachedAnswer(FileDescriptor file, StoredAnswer facts, off_t bodyOffset, std::uint64_t bodyBytes,
               std::uint32_t bodyCrc)
      : file_(std::move(file)),
        facts_(std::move(facts)),
        bodyOffset_(bodyOffset),
        bodyBytes_(bodyBytes),
        bodyCrc_(bodyCrc) {}

  FileDescriptor file_;
  StoredAnswer facts_;
  off_t bodyOffset_;
  std::uint64_t bodyBytes_;
  std::uint32_t bodyCrc_;
};

// The store in one folder. Several runs (processes) may use one folder at once: entries are
// written to a temporary file and renamed into place, read through an open descriptor, and
// removed by name only, so no reader ever sees a torn or changing entry. Safe to call from several
// threads.
class AnswerCache {
 public:
  static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t{1} << 30;

  // The store in folder (made with mode 0700, and the missing folders above it too, when it does
  // not exist; an existing one loses any rights of group and others), holding at most maxBytes of
  // entry files (what other runs store meanwhile is counted at this one's next scan of the folder).
  // An empty folder, one that cannot be made or opened, or one that belongs to another user gives a
  // store that finds and keeps nothing.
  // A store of maxBytes 0 finds nothing and keeps nothing.
  explicit AnswerCache(const std::string& folder, std::uint64_t maxBytes = kDefaultMaxBytes);
  // Trims the folder to the limit, also after a run that stored nothing (every answer a 304):
  // the limit holds whatever the limit of the run before was.
  ~AnswerCache();
  AnswerCache(const AnswerCache&) = delete;
  AnswerCache& operator=(const AnswerCache&) = delete;

  // False when the folder could not be had; every call then does nothing.
  bool usable() const noexcept { return folder_.get() >= 0; }

  // The entry kept for url, when there is one, whole and intact, and kept for this very address
  // (not another one with the same file name). Marks it as used now. An entry that is cut short,
  // longer than it says, or fails a checksum is removed and not returned.
  std::optional<CachedAnswer> Lookup(const std::string& url) noexcept;

  // Keeps body with its facts (facts.url is the key), replacing what was kept for that address,
  // then removes the least recently used entries while the folder holds more than the limit.
  // True when it was kept; false when it could not be (larger than the limit, no folder, a
  // read-only or full disk...). Whether the answer may be kept at all is MayStoreAnswer's call.
  bool Store(const StoredAnswer& facts, std::string_view body) noexcept;

  // Removes what is kept for url (an answer that may no longer be kept, say).
  void Remove(const std::string& url) noexcept;

  // The file name of url's entry in the folder: a 64-bit FNV-1a hash in hex plus ".answer".
  static std::string EntryName(const std::string& url);

 private:
  // Scans the folder: counts the entries' bytes, removes temporary files that a killed run left
  // behind, and, when the entries exceed the limit, removes the least recently used ones (never
  // keep) until they take nine tenths of it, so that the next scan is many stores away.
  void Trim(const std::string& keep);
  // Removes name when it is still the file open as opened (another run may have replaced it).
  void RemoveIfSame(const std::string& name, int opened) noexcept;

  FileDescriptor folder_{-1};
  std::uint64_t maxBytes_;
  std::mutex mutex_;  // guards the two below
  bool scanned_ = false;
  std::uint64_t usedBytes_ = 0;  // the entries' bytes as of the last scan plus this store's since
};

}  // namespace picsheet

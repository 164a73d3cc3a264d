// AnswerCache: lookups through an open descriptor, stores by temporary file and rename, eviction
// of the least recently used entries by their modification time (set at every store and hit).
#include "web/answer_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "base/atomic_file.h"

namespace picsheet {
namespace {

constexpr std::string_view kEntrySuffix = ".answer";

// A file's times as the kernel keeps them: seconds and nanoseconds.
using FileTime = decltype(stat::st_mtim);
constexpr std::string_view kTemporaryPrefix = ".tmp-";
// A temporary file this old belongs to a run that was killed while storing: one store takes
// seconds at most.
constexpr std::time_t kAbandonedTemporarySeconds = 3600;
constexpr std::size_t kReadBlockBytes = 256 * 1024;

// Reads exactly size bytes at offset; false on a read error or a file that ends sooner.
bool ReadExactly(int fd, char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, data, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

// The body's CRC-32 read in blocks, so that checking a large entry takes little memory; nullopt
// when it cannot be read whole.
std::optional<std::uint32_t> ChecksumOf(int fd, off_t offset, std::uint64_t size) {
  std::string block(static_cast<std::size_t>(std::min<std::uint64_t>(size, kReadBlockBytes)), '\0');
  std::uint32_t crc = 0;
  while (size > 0) {
    const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(size, block.size()));
    if (!ReadExactly(fd, block.data(), part, offset)) return std::nullopt;
    crc = Crc32(crc, std::string_view(block.data(), part));
    offset += static_cast<off_t>(part);
    size -= part;
  }
  return crc;
}

// Sets the file's modification time, the entries' mark of last use, to now. The clock is read
// here rather than left to the kernel, whose file times advance only once a tick: entries used
// one after another must keep their order.
void MarkUsedNow(int fd) {
  FileTime times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  ::clock_gettime(CLOCK_REALTIME, &times[1]);
  ::futimens(fd, times);
}

bool IsEntryName(std::string_view name) {
  if (name.size() != 16 + kEntrySuffix.size() || name.substr(16) != kEntrySuffix) return false;
  return std::all_of(name.begin(), name.begin() + 16,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Makes folder and the missing folders above it, private to the user as the XDG rules ask.
void MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
  }
  ::mkdir(folder.c_str(), 0700);
}

// The folder opened for the store, or none: it must be a folder of this user, which is then made
// private to it (no rights for group and others), for another user who could write there could
// plant bodies.
FileDescriptor OpenStoreFolder(const std::string& folder) {
  FileDescriptor none(-1);
  if (folder.empty()) return none;
  MakeFolders(folder);
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status {};
  if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || status.st_uid != ::geteuid()) return none;
  // Only the others' rights go: a folder the user made read-only stays so.
  const mode_t mode = status.st_mode & 07777;
  if ((mode & 07077) != 0 && ::fchmod(fd.get(), mode & 0700) != 0 && (mode & 022) != 0) return none;
  return fd;
}

// A new file in the folder under a random temporary name, removed again unless it was renamed.
class TemporaryEntry {
 public:
  explicit TemporaryEntry(int folder) : folder_(folder) {
    std::random_device random;
    for (int attempt = 0; attempt < 8 && file_.get() < 0; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%08x%08x", kTemporaryPrefix.data(), random(), random());
      file_ = FileDescriptor(
          ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (file_.get() >= 0)
        name_ = name;
      else if (errno != EEXIST)
        break;
    }
    if (file_.get() >= 0) ::fchmod(file_.get(), 0600);  // whatever the umask took away
  }
  ~TemporaryEntry() {
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }
  TemporaryEntry(const TemporaryEntry&) = delete;
  TemporaryEntry& operator=(const TemporaryEntry&) = delete;

  int fd() const { return file_.get(); }
  // Closes the file; false when the last writes failed.
  bool Close() { return ::close(file_.Release()) == 0; }
  // Renames it to name, replacing what was there; false on failure.
  bool RenameTo(const std::string& name) {
    if (::renameat(folder_, name_.c_str(), folder_, name.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  int folder_;
  FileDescriptor file_{-1};
  std::string name_;  // empty once renamed, or when none could be made
};

struct EntryFile {
  std::string name;
  std::uint64_t bytes;
  FileTime lastUse;
};

bool UsedEarlier(const EntryFile& a, const EntryFile& b) {
  return std::tie(a.lastUse.tv_sec, a.lastUse.tv_nsec, a.name) <
         std::tie(b.lastUse.tv_sec, b.lastUse.tv_nsec, b.name);
}

}  // namespace

std::optional<std::string> CachedAnswer::ReadBody() const noexcept {
  try {
    std::string body(static_cast<std::size_t>(bodyBytes_), '\0');
    if (!ReadExactly(file_.get(), body.data(), body.size(), bodyOffset_) ||
        Crc32(0, body) != bodyCrc_) {
      return std::nullopt;
    }
    return body;
  } catch (...) {
    return std::nullopt;
  }
}

AnswerCache::AnswerCache(const std::string& folder, std::uint64_t maxBytes)
    : folder_(OpenStoreFolder(folder)), maxBytes_(maxBytes) {}

AnswerCache::~AnswerCache() {
  try {
    if (!usable()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!scanned_ || usedBytes_ > maxBytes_) Trim({});
  } catch (...) {
    // A folder that cannot be listed keeps what it holds; the next run tries again.
  }
}

std::string AnswerCache::EntryName(const std::string& url) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : url) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return name + std::string(kEntrySuffix);
}

std::optional<CachedAnswer> AnswerCache::Lookup(const std::string& url) noexcept {
  try {
    // A store that may hold nothing asks after nothing either, as one without a folder.
    if (!usable() || maxBytes_ == 0) return std::nullopt;
    const std::string name = EntryName(url);
    FileDescriptor file(::openat(folder_.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
      return std::nullopt;
    }
    const auto dropped = [&]() -> std::optional<CachedAnswer> {
      RemoveIfSame(name, file.get());
      return std::nullopt;
    };

    std::string prefixBytes(kEntryPrefixBytes, '\0');
    if (!ReadExactly(file.get(), prefixBytes.data(), prefixBytes.size(), 0)) return dropped();
    const std::optional<EntryPrefix> prefix = DecodeEntryPrefix(prefixBytes);
    if (!prefix) return dropped();
    const std::uint64_t fileBytes = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t headBytes = kEntryPrefixBytes + prefix->factsBytes;
    if (fileBytes < headBytes || fileBytes - headBytes != prefix->bodyBytes) return dropped();

    std::string factsBytes(prefix->factsBytes, '\0');
    if (!ReadExactly(file.get(), factsBytes.data(), factsBytes.size(), kEntryPrefixBytes))
      return dropped();
    std::optional<StoredAnswer> facts = DecodeEntryFacts(factsBytes, prefix->factsCrc);
    if (!facts) return dropped();
    // Another address whose name hashes alike: its entry is sound, just not this one's.
    if (facts->url != url) return std::nullopt;

    const off_t bodyOffset = static_cast<off_t>(headBytes);
    if (ChecksumOf(file.get(), bodyOffset, prefix->bodyBytes) != prefix->bodyCrc) return dropped();
    MarkUsedNow(file.get());
    return CachedAnswer(std::move(file), std::move(*facts), bodyOffset, prefix->bodyBytes,
                        prefix->bodyCrc);
  } catch (...) {
    return std::nullopt;
  }
}

bool AnswerCache::Store(const StoredAnswer& facts, std::string_view body) noexcept {
  try {
    if (!usable()) return false;
    const std::optional<std::string> head = EncodeEntryHead(facts, body);
    if (!head) return false;
    const std::uint64_t bytes = head->size() + body.size();
    if (bytes > maxBytes_) return false;

    TemporaryEntry entry(folder_.get());
    if (entry.fd() < 0 || !WriteAll(entry.fd(), head->data(), head->size()) ||
        !WriteAll(entry.fd(), body.data(), body.size())) {
      return false;
    }
    // No fsync: an entry that a crash leaves torn fails its checksums and is fetched again.
    MarkUsedNow(entry.fd());
    if (!entry.Close()) return false;

    const std::string name = EntryName(facts.url);
    struct stat replaced {};
    const std::uint64_t replacedBytes =
        (::fstatat(folder_.get(), name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(replaced.st_mode))
            ? static_cast<std::uint64_t>(replaced.st_size)
            : 0;
    if (!entry.RenameTo(name)) return false;

    std::lock_guard<std::mutex> lock(mutex_);
    usedBytes_ += bytes;
    usedBytes_ -= std::min(usedBytes_, replacedBytes);
    if (!scanned_ || usedBytes_ > maxBytes_) Trim(name);
    return true;
  } catch (...) {
    return false;
  }
}

void AnswerCache::Remove(const std::string& url) noexcept {
  try {
    if (!usable()) return;
    const std::string name = EntryName(url);
    struct stat status {};
    if (::fstatat(folder_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::unlinkat(folder_.get(), name.c_str(), 0) != 0) {
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    usedBytes_ -= std::min(usedBytes_, static_cast<std::uint64_t>(status.st_size));
  } catch (...) {
  }
}

void AnswerCache::RemoveIfSame(const std::string& name, int opened) noexcept {
  struct stat openedStatus {};
  struct stat namedStatus {};
  if (::fstat(opened, &openedStatus) != 0 ||
      ::fstatat(folder_.get(), name.c_str(), &namedStatus, AT_SYMLINK_NOFOLLOW) != 0 ||
      openedStatus.st_dev != namedStatus.st_dev || openedStatus.st_ino != namedStatus.st_ino) {
    return;
  }
  if (::unlinkat(folder_.get(), name.c_str(), 0) != 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  usedBytes_ -= std::min(usedBytes_, static_cast<std::uint64_t>(namedStatus.st_size));
}

void AnswerCache::Trim(const std::string& keep) {
  // A descriptor of its own: a directory stream moves its descriptor's offset.
  const int listed = ::openat(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listed < 0) return;
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::fdopendir(listed), &::closedir);
  if (!folder) {
    ::close(listed);
    return;
  }
  FileTime now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::vector<EntryFile> entries;
  std::uint64_t total = 0;
  while (const dirent* item = ::readdir(folder.get())) {
    const std::string_view name = item->d_name;
    const bool entry = IsEntryName(name);
    if (!entry && name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) continue;
    struct stat status {};
    if (::fstatat(folder_.get(), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode)) {
      continue;
    }
    if (!entry) {
      if (now.tv_sec - status.st_mtim.tv_sec > kAbandonedTemporarySeconds)
        ::unlinkat(folder_.get(), item->d_name, 0);
      continue;
    }
    entries.push_back(
        {std::string(name), static_cast<std::uint64_t>(status.st_size), status.st_mtim});
    total += static_cast<std::uint64_t>(status.st_size);
  }

  if (total > maxBytes_) {
    std::sort(entries.begin(), entries.end(), UsedEarlier);
    const std::uint64_t target = maxBytes_ - maxBytes_ / 10;
    for (const EntryFile& oldest : entries) {
      if (total <= target) break;
      if (oldest.name == keep) continue;
      // A run still reading this entry keeps its open descriptor and reads on; only the name
      // goes.
      if (::unlinkat(folder_.get(), oldest.name.c_str(), 0) == 0 || errno == ENOENT)
        total -= oldest.bytes;
    }
  }
  usedBytes_ = total;
  scanned_ = true;
}

}  // namespace picsheet

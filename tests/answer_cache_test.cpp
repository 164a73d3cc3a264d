// The answer store on disk: round trips, damaged and foreign entries, failures that cost nothing,
// least-recently-used eviction, modes, and runs that share the folder.
#include "web/answer_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

namespace fs = std::filesystem;
using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

StoredAnswer FactsFor(const std::string& url, const std::string& etag = "\"v1\"") {
  return {url, url + "?final", etag, "Tue, 02 Jan 2024 10:00:00 GMT", "image/jpeg"};
}

// Bytes of every value, made from seed so that a reader can tell which body it got.
std::string BodyOf(unsigned seed, std::size_t size) {
  std::mt19937 random(seed);
  std::string body(size, '\0');
  for (char& c : body) c = static_cast<char>(random());
  return body;
}

// The entry files in folder by name, with their sizes; temporary files included.
std::map<std::string, std::uintmax_t> FilesIn(const std::string& folder) {
  std::map<std::string, std::uintmax_t> files;
  for (const auto& item : fs::directory_iterator(folder))
    files[item.path().filename().string()] = item.file_size();
  return files;
}

std::uintmax_t BytesIn(const std::string& folder) {
  std::uintmax_t total = 0;
  for (const auto& [name, size] : FilesIn(folder)) total += size;
  return total;
}

unsigned ModeOf(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

TEST(AnswerCacheTest, GivesBackTheBodyAndFactsItKept) {
  TempDir dir;
  AnswerCache cache(dir.File("cache"));
  ASSERT_TRUE(cache.usable());
  const std::string bodies[] = {"", std::string("a\0b", 3), BodyOf(1, 3 << 20)};
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body.size());
    const StoredAnswer facts = FactsFor("http://host/" + std::to_string(body.size()) + ".jpg");
    ASSERT_TRUE(cache.Store(facts, body));
    const std::optional<CachedAnswer> found = cache.Lookup(facts.url);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->facts().url, facts.url);
    EXPECT_EQ(found->facts().finalUrl, facts.finalUrl);
    EXPECT_EQ(found->facts().etag, facts.etag);
    EXPECT_EQ(found->facts().lastModified, facts.lastModified);
    EXPECT_EQ(found->facts().contentType, facts.contentType);
    EXPECT_EQ(found->bodyBytes(), body.size());
    EXPECT_EQ(found->ReadBody(), body);
  }
  EXPECT_FALSE(cache.Lookup("http://host/never.jpg"));
}

TEST(AnswerCacheTest, DropsAndRemovesAnEntryThatIsCutShortOrDamaged) {
  const std::string url = "http://host/a.jpg";
  const std::string body = BodyOf(2, 5000);
  const std::size_t headBytes = EncodeEntryHead(FactsFor(url), body)->size();
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"empty", [](std::string& f) { f.clear(); }},
      {"cut inside the prefix", [](std::string& f) { f.resize(10); }},
      {"cut inside the facts", [&](std::string& f) { f.resize(headBytes - 3); }},
      {"cut by one byte", [](std::string& f) { f.pop_back(); }},
      {"one byte too many", [](std::string& f) { f += 'x'; }},
      {"a flipped body byte", [&](std::string& f) { f[headBytes + 2500] ^= 0x20; }},
      {"the last body byte flipped", [](std::string& f) { f.back() ^= 0x01; }},
      {"a flipped facts byte", [](std::string& f) { f[kEntryPrefixBytes + 6] ^= 0x01; }},
      {"a wrong marker", [](std::string& f) { f[0] = 'X'; }},
      {"a body length that disagrees", [](std::string& f) { f[8] ^= 0x01; }},
      {"junk", [](std::string& f) { f = std::string(f.size(), '\x5a'); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    AnswerCache cache(dir.File("cache"));
    ASSERT_TRUE(cache.Store(FactsFor(url), body));
    const std::string file = dir.File("cache/" + AnswerCache::EntryName(url));
    std::string bytes = ReadFileBytes(file);
    c.damage(bytes);
    WriteFileBytes(file, bytes);
    EXPECT_FALSE(cache.Lookup(url));
    EXPECT_FALSE(PathExists(file));
    // Stored again, it is whole again.
    ASSERT_TRUE(cache.Store(FactsFor(url), body));
    EXPECT_EQ(cache.Lookup(url)->ReadBody(), body);
  }
}

// Two addresses whose file names hash alike: the entry in place is sound but not this address's.
TEST(AnswerCacheTest, NeverDeliversAnotherAddresssBody) {
  TempDir dir;
  AnswerCache cache(dir.File("cache"));
  const std::string mine = "http://host/mine.jpg";
  const std::string other = "http://host/other.jpg";
  ASSERT_TRUE(cache.Store(FactsFor(other), "other's body"));
  const std::string otherFile = dir.File("cache/" + AnswerCache::EntryName(other));
  const std::string myFile = dir.File("cache/" + AnswerCache::EntryName(mine));
  fs::rename(otherFile, myFile);

  EXPECT_FALSE(cache.Lookup(mine));
  EXPECT_TRUE(PathExists(myFile));  // kept: it is whole, just another address's
  ASSERT_TRUE(cache.Store(FactsFor(mine), "my body"));
  EXPECT_EQ(cache.Lookup(mine)->ReadBody(), "my body");
}

// A 304 must deliver the bytes whose validators were sent, whatever happened to the file since.
TEST(AnswerCacheTest, AFoundEntryKeepsItsBodyWhenReplacedRemovedOrEvicted) {
  const std::string url = "http://host/a.jpg";
  const struct {
    const char* what;
    std::function<void(AnswerCache&, const std::string& folder)> meanwhile;
  } cases[] = {
      {"replaced",
       [&](AnswerCache& c, const std::string&) { c.Store(FactsFor(url, "\"v2\""), "v2"); }},
      {"removed", [&](AnswerCache& c, const std::string&) { c.Remove(url); }},
      {"evicted by another run",
       [&](AnswerCache&, const std::string& folder) {
         AnswerCache small(folder, 10000);
         small.Store(FactsFor("http://host/big.jpg"), BodyOf(3, 9000));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    AnswerCache cache(dir.File("cache"));
    ASSERT_TRUE(cache.Store(FactsFor(url, "\"v1\""), "v1"));
    const std::optional<CachedAnswer> found = cache.Lookup(url);
    ASSERT_TRUE(found);
    c.meanwhile(cache, dir.File("cache"));
    EXPECT_EQ(found->facts().etag, "\"v1\"");
    EXPECT_EQ(found->ReadBody(), "v1");
  }
}

// A file changed in place after the lookup (no run of picsheet does that) gives no body at all.
TEST(AnswerCacheTest, AFoundEntryDamagedAfterwardsGivesNoBody) {
  const std::string url = "http://host/a.jpg";
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"cut short", [](std::string& f) { f.resize(f.size() - 500); }},
      {"a flipped body byte", [](std::string& f) { f[f.size() - 500] ^= 0x01; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    AnswerCache cache(dir.File("cache"));
    ASSERT_TRUE(cache.Store(FactsFor(url), BodyOf(4, 1000)));
    const std::optional<CachedAnswer> found = cache.Lookup(url);
    ASSERT_TRUE(found);
    const std::string file = dir.File("cache/" + AnswerCache::EntryName(url));
    std::string bytes = ReadFileBytes(file);
    c.damage(bytes);
    WriteFileBytes(file, bytes);  // the same file, truncated and written again
    EXPECT_FALSE(found->ReadBody());
  }
}

// An empty folder name (no home), a folder that cannot be made, and a folder of another user all
// give a store that finds and keeps nothing, without a word.
TEST(AnswerCacheTest, AFolderThatCannotBeHadCostsNothing) {
  TempDir dir;
  WriteFileBytes(dir.File("file"), "");
  fs::create_directory(dir.File("theirs"));
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(dir.File("theirs").c_str(), 54321, 54321), 0);
  }
  const std::string folders[] = {"", dir.File("file/picsheet"), "/proc/picsheet",
                                 root ? dir.File("theirs") : ""};
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    AnswerCache cache(folder);
    EXPECT_FALSE(cache.usable());
    EXPECT_FALSE(cache.Store(FactsFor("http://host/a.jpg"), "body"));
    EXPECT_FALSE(cache.Lookup("http://host/a.jpg"));
    cache.Remove("http://host/a.jpg");
  }
  EXPECT_TRUE(FilesIn(dir.File("theirs")).empty());
}

// A read-only folder still serves what it holds and quietly keeps nothing new; so does a disk
// that is full (a file size limit stands in for it). Run in a child: as another user, since root
// may write anywhere, and under the limit, which must not touch the test itself.
TEST(AnswerCacheTest, AReadOnlyFolderOrAFullDiskCostsNothing) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  const std::string folder = dir.File("cache");
  const std::string kept = "http://host/kept.jpg";
  const std::string added = "http://host/added.jpg";
  const auto answers = testkit::RunInChildren(2, [&](int which) -> std::string {
    if (::geteuid() == 0 &&
        (::setresgid(54321, 54321, 54321) != 0 || ::setresuid(54321, 54321, 54321) != 0))
      return "cannot change user";
    const std::string mine = folder + std::to_string(which);
    if (!AnswerCache(mine).Store(FactsFor(kept), "kept body")) return "first store failed";
    if (which == 0) {
      if (::chmod(mine.c_str(), 0500) != 0) return "chmod failed";
    } else {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{4096, 4096};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "setrlimit failed";
    }
    AnswerCache cache(mine);
    if (!cache.usable()) return "not usable";
    if (cache.Store(FactsFor(added), BodyOf(5, 10000))) return "stored";
    if (cache.Lookup(added)) return "found what was not stored";
    const std::optional<CachedAnswer> found = cache.Lookup(kept);
    if (!found || found->ReadBody() != "kept body") return "lost what it held";
    if (FilesIn(mine).size() != 1) return "left a file behind";
    return "";
  });
  EXPECT_EQ(answers[0], "") << "read-only folder";
  EXPECT_EQ(answers[1], "") << "full disk";
}

TEST(AnswerCacheTest, FilesArePrivateInAPrivateFolder) {
  TempDir dir;
  const mode_t oldMask = ::umask(0);
  {
    AnswerCache fresh(dir.File("made/below/cache"));
    ASSERT_TRUE(fresh.Store(FactsFor("http://host/a.jpg"), "body"));
    fs::create_directory(dir.File("open"));
    ::chmod(dir.File("open").c_str(), 0777);
    AnswerCache existing(dir.File("open"));
    ASSERT_TRUE(existing.Store(FactsFor("http://host/a.jpg"), "body"));
  }
  ::umask(oldMask);
  EXPECT_EQ(ModeOf(dir.File("made")), 0700u);
  EXPECT_EQ(ModeOf(dir.File("made/below")), 0700u);
  EXPECT_EQ(ModeOf(dir.File("made/below/cache")), 0700u);
  EXPECT_EQ(ModeOf(dir.File("open")), 0700u);
  const std::string entry = AnswerCache::EntryName("http://host/a.jpg");
  EXPECT_EQ(ModeOf(dir.File("made/below/cache/" + entry)), 0600u);
  EXPECT_EQ(ModeOf(dir.File("open/" + entry)), 0600u);
}

// Every entry of this test takes the same room, so the limit counts entries: four fit, a fifth
// makes the least recently used (stored or found) go.
TEST(AnswerCacheTest, EvictsTheLeastRecentlyUsedFirst) {
  TempDir dir;
  const std::string body = BodyOf(6, 1000);
  const auto url = [](char name) { return std::string("http://host/") + name + ".jpg"; };
  const std::uint64_t entryBytes = EncodeEntryHead(FactsFor(url('a')), body)->size() + body.size();
  AnswerCache cache(dir.File("cache"), 4 * entryBytes + entryBytes / 2);
  // s = store, u = use (a lookup), then the entries expected after the step.
  const struct {
    char step;
    char name;
    const char* kept;
  } script[] = {
      {'s', 'a', "a"},    {'s', 'b', "ab"},   {'s', 'c', "abc"},  {'s', 'd', "abcd"},
      {'u', 'a', "abcd"}, {'s', 'e', "acde"}, {'u', 'c', "acde"}, {'s', 'f', "acef"},
      {'s', 'a', "acef"}, {'s', 'g', "acfg"},
  };
  for (const auto& s : script) {
    SCOPED_TRACE(std::string(1, s.step) + s.name);
    if (s.step == 's') {
      ASSERT_TRUE(cache.Store(FactsFor(url(s.name)), body));
    } else {
      ASSERT_TRUE(cache.Lookup(url(s.name)));
    }
    std::string kept;
    for (char name = 'a'; name <= 'g'; ++name)
      if (PathExists(dir.File("cache/" + AnswerCache::EntryName(url(name))))) kept += name;
    EXPECT_EQ(kept, s.kept);
  }
}

// Stores of every size keep the folder within the limit after each store (a folder filled under
// a larger limit included), refuse an answer larger than the whole limit, and clear away the
// temporary files of runs killed while storing.
TEST(AnswerCacheTest, StaysWithinItsLimit) {
  TempDir dir;
  const std::string folder = dir.File("cache");
  {
    AnswerCache large(folder);
    for (unsigned i = 0; i < 10; ++i)
      ASSERT_TRUE(large.Store(FactsFor("http://host/old" + std::to_string(i)), BodyOf(i, 20000)));
  }
  WriteFileBytes(folder + "/.tmp-abandoned", "half an entry");
  const fs::file_time_type now = fs::file_time_type::clock::now();
  fs::last_write_time(folder + "/.tmp-abandoned", now - std::chrono::hours(2));
  WriteFileBytes(folder + "/.tmp-being-written", "another run's entry, under way");

  const std::uint64_t limit = 100000;
  AnswerCache cache(folder, limit);
  EXPECT_FALSE(cache.Store(FactsFor("http://host/huge"), BodyOf(7, limit)));
  std::mt19937 random(8);
  for (unsigned i = 0; i < 60; ++i) {
    const std::string url = "http://host/" + std::to_string(random() % 30);
    SCOPED_TRACE(url);
    ASSERT_TRUE(cache.Store(FactsFor(url), BodyOf(i, random() % 30000)));
    EXPECT_TRUE(cache.Lookup(url));
    EXPECT_LE(BytesIn(folder) - FilesIn(folder)[".tmp-being-written"], limit);
  }
  EXPECT_FALSE(PathExists(folder + "/.tmp-abandoned"));
  EXPECT_TRUE(PathExists(folder + "/.tmp-being-written"));
}

// A run that stores nothing (every answer a 304) still leaves the folder within its limit, also
// one far below the last run's; a limit of 0 also finds nothing, so no validators are sent.
TEST(AnswerCacheTest, EndsWithinItsLimitAfterARunThatOnlyFound) {
  for (const std::uint64_t limit : {std::uint64_t{1024}, std::uint64_t{0}}) {
    TempDir dir;
    const std::string folder = dir.File("cache");
    const auto url = [](unsigned i) { return "http://host/" + std::to_string(i) + ".jpg"; };
    {
      AnswerCache large(folder);
      for (unsigned i = 0; i < 13; ++i) ASSERT_TRUE(large.Store(FactsFor(url(i)), BodyOf(i, 5000)));
    }
    {
      AnswerCache cache(folder, limit);
      for (unsigned i = 0; i < 13; ++i) EXPECT_EQ(cache.Lookup(url(i)).has_value(), limit != 0);
    }
    EXPECT_LE(BytesIn(folder), limit) << limit;
  }
}

// Runs that store and read one address at once never get a torn or mixed entry: every body found
// is the one its ETag names. Without eviction an entry is always found right after a store; with
// a limit small enough to evict all the time, what is found is still whole.
TEST(AnswerCacheTest, RunsSharingTheFolderNeverSeeATornEntry) {
  const struct {
    const char* what;
    std::uint64_t limit;
    bool alwaysFound;
  } cases[] = {
      {"no eviction", AnswerCache::kDefaultMaxBytes, true},
      {"constant eviction", 300000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = dir.File("cache");
    const auto answers = testkit::RunInChildren(4, [&](int run) -> std::string {
      AnswerCache cache(folder, c.limit);
      for (unsigned round = 0; round < 150; ++round) {
        const std::string url = "http://host/" + std::to_string(round % 3) + ".jpg";
        const unsigned seed = static_cast<unsigned>(run * 1000 + round);
        // Sizes up to 200 KB, so that writes take several system calls.
        if (!cache.Store(FactsFor(url, std::to_string(seed)), BodyOf(seed, seed * 7919 % 200000)))
          return "a store failed";
        const std::optional<CachedAnswer> found = cache.Lookup(url);
        if (!found) {
          if (c.alwaysFound) return "not found right after a store";
          continue;
        }
        const unsigned named = static_cast<unsigned>(std::stoul(found->facts().etag));
        const std::optional<std::string> body = found->ReadBody();
        if (!body) return "no body";
        if (*body != BodyOf(named, named * 7919 % 200000)) return "a body that is not its ETag's";
      }
      return "";
    });
    for (const std::string& answer : answers) EXPECT_EQ(answer, "");
    for (const auto& [name, size] : FilesIn(folder))
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace picsheet

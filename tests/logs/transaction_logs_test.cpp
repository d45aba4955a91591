// vesk/transaction_logs.hpp against the real dirty hives and their logs (recovery equal,
// byte for byte, to the separate route in recover.py, and read by the library), against
// logs broken one field at a time, and Marvin32 against known hashes.
#include "vesk/transaction_logs.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "temp_hive.h"
#include "vesk/hive.hpp"
#include "vesk_10.h"

namespace {

namespace fs = std::filesystem;
using namespace vesk::logs;
using Bytes = std::vector<unsigned char>;

const fs::path kData = fs::path(VESK_TEST_DATA_DIR) / "logs";

Bytes slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void spill(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Bytes in memory that note every read asked of them beyond their end, and how far reads went.
class WatchedSource : public MemorySource {
 public:
  explicit WatchedSource(const Bytes& b) : MemorySource(b), size_(b.size()) {}
  bool read(std::uint64_t at, unsigned char* dst, std::size_t n) override {
    outside = outside || at > size_ || n > size_ - at;
    reach = std::max<std::uint64_t>(reach, at + n);
    return MemorySource::read(at, dst, n);
  }
  bool outside = false;
  std::uint64_t reach = 0;

 private:
  std::size_t size_;
};

using Tally = std::pair<std::int64_t, std::int64_t>;

// Keys and values as a host reaches them: through lf lists, the ones the library follows.
void reach(HiveHandle* hive, const KeyRecord& key, int depth, Tally& n) {
  ++n.first;
  ValueListRecord values;
  n.second += std::max(0, GetValueList(hive, &key, &values));
  KeyListRecord list;
  const std::int32_t subkeys = GetSubKeyList(hive, &key, &list);
  for (std::int32_t i = 0; i < subkeys && depth < 64 && n.first < 100000; ++i) {
    KeyRecord sub;
    GetSubKey(hive, &list, i, &sub);
    reach(hive, sub, depth + 1, n);
  }
}

// Keys and values the library reaches in the file at `path` (-1, -1: it refused it).
Tally count(const std::string& path) {
  HiveHandle* hive = OpenRegistryFile(path.c_str());
  if (hive == nullptr) return {-1, -1};
  Tally n{0, 0};
  KeyRecord root;
  if (SearchRootKey(hive, &root) == 1) reach(hive, root, 0, n);
  CloseRegistryFile(hive);
  return n;
}

// The primary as it stands, made clean the way --ignore-dirty does.
Tally count_as_it_stands(const fs::path& hive) {
  Bytes b = slurp(hive);
  detail::store32(&b[8], detail::load32(&b[4]));
  detail::store32(&b[508], base_block_checksum(b.data()));
  vesk::test::TempHive file(b);
  return count(file.path());
}

// recover.py's result for the hive at `hive`: its JSON line, and the file it wrote.
std::string python_route(const fs::path& hive, const fs::path& out) {
  fs::remove(out);
  const fs::path line = out.string() + ".json";
  const std::string command = std::string(VESK_PYTHON) + " " VESK_RECOVER_SCRIPT " '" + hive.string() + "' '" +
                              out.string() + "' > '" + line.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const Bytes text = slurp(line);
  return std::string(text.begin(), text.end());
}

fs::path scratch_root() { return fs::path(vesk::test::temp_folder()) / ("vesk-logs-" + std::to_string(::getpid())); }
fs::path scratch(const std::string& name) {
  const fs::path dir = scratch_root() / name;
  fs::create_directories(dir);
  return dir;
}

TEST(Marvin32, MatchesKnownHashes) {
  Bytes counting(32);
  for (unsigned i = 0; i < 32; ++i) counting[i] = static_cast<unsigned char>(i);
  const Bytes entry_head = slurp(kData / "NewDirtyHive1/NewDirtyHive.LOG1");
  const struct {
    std::uint64_t seed;
    Bytes input;
    std::uint64_t hash;
  } rows[] = {
      {layout::kLogHashSeed, {}, 0xB39EFCA403966E08ull},
      {layout::kLogHashSeed, {'H', 'v', 'L', 'E'}, 0x914527932CF336DDull},
      {layout::kLogHashSeed, counting, 0xC64FEEE425C2E24Cull},
      {layout::kLogHashSeed, Bytes(entry_head.begin() + 512, entry_head.begin() + 544), 0xCD44F3CFA7657F02ull},
      {0x004FB61A001BDBCCull, {0xAF}, 0x48E73FC77D75DDC1ull},
      {0xD53CD9CECD0893B7ull, {'a', 'b', 'c'}, 0x22C74339492769BFull},
  };
  for (const auto& row : rows) EXPECT_EQ(marvin32(row.input.data(), row.input.size(), row.seed), row.hash);
}

// Every hive in the test data: what recovery gives, what the library then reads, and
// what it reads from the primary as it stands.
TEST(Recovery, RealHivesAsWindowsLoadsThem) {
  const struct {
    const char* hive;
    Outcome outcome;
    std::uint32_t sequence, entries, pages;
    std::int64_t keys, values, stands_keys, stands_values;
  } rows[] = {
      {"NewDirtyHive1/NewDirtyHive", Outcome::recovered, 5, 4, 0, 5, 1, 5, 2},
      {"NewDirtyHive2/NewDirtyHive", Outcome::recovered, 5, 3, 0, 5, 1, 5, 2},
      {"OldDirtyHive/OldDirtyHive", Outcome::recovered, 5, 0, 64, 2, 0, 2, 0},
      {"BadBaseBlockHive/BadBaseBlockHive", Outcome::recovered, 5, 0, 64, 2, 0, -1, -1},
      {"BadLogHive1/BadLogHive", Outcome::not_recovered, 0, 0, 0, -1, -1, 2, 0},
      {"BadLogHive2/BadLogHive", Outcome::not_recovered, 0, 0, 0, -1, -1, 2, 0},
      {"BadLogHive3/BadLogHive", Outcome::not_recovered, 0, 0, 0, -1, -1, 5, 2},
      {"TruncatedDirtyHive/TruncatedDirtyHive", Outcome::not_recovered, 0, 0, 0, -1, -1, 2, 0},
      {"win10-BCD-Template/BCD-Template", Outcome::clean, 0, 0, 0, 143, 109, 143, 109},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hive);
    const fs::path hive = kData / row.hive;
    const HiveWithLogs opened = open_with_logs(hive);
    const Report& r = opened.report();
    EXPECT_EQ(r.outcome, row.outcome) << r.problem;
    EXPECT_EQ(r.sequence_after, row.sequence);
    EXPECT_EQ(r.entries_applied, row.entries);
    EXPECT_EQ(r.dirty_pages_applied, row.pages);
    EXPECT_EQ(count(opened.path()), std::make_pair(row.keys, row.values));
    EXPECT_EQ(count_as_it_stands(hive), std::make_pair(row.stands_keys, row.stands_values));

    const fs::path out = scratch("real") / fs::path(row.hive).filename();
    const std::string python = python_route(hive, out);
    const Recovery mine = recover_file(hive);
    EXPECT_EQ(fs::exists(out) ? slurp(out) : Bytes{}, mine.image.bytes()) << python;
    if (!mine.image.empty()) {
      EXPECT_NE(python.find("\"sequence\": " + std::to_string(row.sequence)), std::string::npos) << python;
      EXPECT_EQ(slurp(opened.path()), mine.image.bytes());
    }
    if (row.outcome == Outcome::not_recovered) {
      EXPECT_FALSE(r.problem.empty());
      EXPECT_FALSE(opened.ok());
    }
  }
  fs::remove_all(scratch_root());
}

// hive.hpp's one call: Hive::open(path, Dirty::apply_logs) reads what open_with_logs
// recovers, warns when the hive was dirty, and throws why when the logs do not apply.
TEST(Recovery, HiveOpensWithItsLogsApplied) {
  const fs::path dir = scratch("checksum");
  Bytes bcd = slurp(kData / "win10-BCD-Template/BCD-Template");
  bcd[508] ^= 1;  // sequence numbers 5/5, no log beside it: read as it stands
  spill(dir / "BCD-Template", bcd);
  const struct {
    fs::path hive;
    std::error_code code;  // none: it opens
    std::string said;      // in the warning, or in the reason thrown
    std::int64_t keys;
  } rows[] = {
      {kData / "NewDirtyHive1/NewDirtyHive", {}, "3 entries applied (sequence 3 to 5)", 5},
      {kData / "OldDirtyHive/OldDirtyHive", {}, "64 dirty pages applied", 2},
      {kData / "win10-BCD-Template/BCD-Template", {}, "", 143},
      {dir / "BCD-Template", {}, "checksum is wrong, but its sequence numbers agree (5/5)", 143},
      {kData / "BadLogHive1/BadLogHive", vesk::OpenErrc::not_written_cleanly,
       "logs could not be applied: " + (kData / "BadLogHive1/BadLogHive.LOG1").string() + ": its header checksum is wrong", -1},
      {kData / "TruncatedDirtyHive/TruncatedDirtyHive", vesk::OpenErrc::not_written_cleanly,
       "no transaction log was found beside the hive", -1},
      {kData / "README.md", vesk::OpenErrc::not_a_hive, "not a hive", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.hive.string());
    try {
      const vesk::Hive hive = vesk::Hive::open(row.hive.string(), vesk::Dirty::apply_logs);
      EXPECT_FALSE(row.code) << hive.warning();
      std::int64_t keys = 0;
      vesk::walk(*hive.root(), [&](const std::string&, const vesk::Key&, const vesk::Values&) { ++keys; },
                 [](const std::string&, const vesk::Damage&) {});
      EXPECT_EQ(keys, row.keys);
      EXPECT_EQ(hive.warning().empty(), row.said.empty()) << hive.warning();
      EXPECT_NE(hive.warning().find(row.said), std::string::npos) << hive.warning();
      ASSERT_NE(hive.logs_report(), nullptr);
    } catch (const vesk::OpenError& e) {
      EXPECT_EQ(e.code(), row.code) << e.what();
      EXPECT_NE(e.reason().find(row.said), std::string::npos) << e.reason();
    }
  }
  fs::remove_all(scratch_root());
}

// The primary is read no further than its declared bins data, whatever follows.
TEST(Recovery, ReadsThePrimaryOnlyAsFarAsItDeclares) {
  Bytes primary = slurp(kData / "NewDirtyHive1/NewDirtyHive");
  const std::uint64_t declared = 4096 + detail::load32(&primary[40]);
  primary.resize(primary.size() + 8192, 0xEE);
  WatchedSource source(primary);
  const Bytes one = slurp(kData / "NewDirtyHive1/NewDirtyHive.LOG1"), two = slurp(kData / "NewDirtyHive1/NewDirtyHive.LOG2");
  std::vector<LogInput> logs = {{"LOG1", LogSlot::log1, std::make_shared<MemorySource>(one), {}},
                                {"LOG2", LogSlot::log2, std::make_shared<MemorySource>(two), {}}};
  EXPECT_EQ(recover(source, logs).report.outcome, Outcome::recovered);
  EXPECT_LE(source.reach, declared);
  EXPECT_FALSE(source.outside);
}

// A change to one log, and how recovery then ends. New format: NewDirtyHive1's LOG2 holds
// entries 3 (at 0x200), 4 (at 0x2000) and 5; old format: OldDirtyHive's LOG1.
struct Damage {
  const char* what;
  const char* folder;
  const char* log;
  std::function<void(Bytes&)> change;
  Outcome outcome;
  std::uint32_t sequence, entries, pages;
  const char* message;
  bool python;  // also compared with recover.py (made as the format note describes)
};

void rehash(Bytes& log, std::size_t entry) {
  const std::uint32_t size = detail::load32(&log[entry + 4]);
  const std::uint64_t pages = marvin32(&log[entry + 40], size - 40);
  for (int i = 0; i < 8; ++i) log[entry + 24 + i] = static_cast<unsigned char>(pages >> (8 * i));
  const std::uint64_t head = marvin32(&log[entry], 32);
  for (int i = 0; i < 8; ++i) log[entry + 32 + i] = static_cast<unsigned char>(head >> (8 * i));
}
std::function<void(Bytes&)> poke(std::size_t at, std::uint32_t v, bool hash) {
  return [=](Bytes& b) {
    if (at + 4 <= b.size()) detail::store32(&b[at], v);
    if (hash) rehash(b, at & ~std::size_t{0xFFF});
  };
}
std::function<void(Bytes&)> cut(std::size_t size) {
  return [=](Bytes& b) { b.resize(std::min(size, b.size())); };
}

TEST(Recovery, BrokenLogsStopWhereTheyBreak) {
  const Outcome part = Outcome::partly_recovered, none = Outcome::not_recovered, all = Outcome::recovered;
  const char* n = "NewDirtyHive1";
  const char* l2 = "NewDirtyHive.LOG2";
  const char* o = "OldDirtyHive";
  const char* l1 = "OldDirtyHive.LOG1";
  const Damage rows[] = {
      {"a page byte under Hash-1", n, l2, [](Bytes& b) { b[0x2100] ^= 1; }, part, 3, 2, 0,
       "NewDirtyHive.LOG2: the entry at log offset 0x2000 is bad: the hash of its pages is wrong; recovery stops there", true},
      {"a byte under Hash-2", n, l2, [](Bytes& b) { b[0x2018] ^= 1; }, part, 3, 2, 0,
       "NewDirtyHive.LOG2: the entry at log offset 0x2000 is bad: the hash of its header is wrong; recovery stops there", true},
      {"bins size 0x5200", n, l2, poke(0x2010, 0x5200, true), part, 3, 2, 0,
       "NewDirtyHive.LOG2: the entry at log offset 0x2000 is bad: its hive bins data size 0x5200 is not a non-zero multiple of 4096; recovery stops there", true},
      {"sequence gap", n, l2, poke(0x200C, 7, true), part, 3, 2, 0,
       "NewDirtyHive.LOG2: the entry at log offset 0x2000 is bad: its sequence number is 7 where 4 was due; recovery stops there", true},
      {"stale entry after the end", n, l2, poke(0x200C, 1, true), all, 3, 2, 0, "", true},
      {"invalid dirty bin", o, l1, [](Bytes& b) { b[0x1400] ^= 0xFF; }, part, 5, 0, 8,
       "OldDirtyHive.LOG1: the dirty bin at bins offset 0x1000 is not a valid bin (no \"hbin\" signature); 8 of 64 dirty pages applied, the hive's own bytes kept from there on", true},
      {"entry size past the log", n, l2, poke(0x2004, 0x100000, false), part, 3, 2, 0, "runs past the end of the log", false},
      {"entry size not a page multiple", n, l2, poke(0x2004, 0x1234, false), part, 3, 2, 0, "not a multiple of 512", false},
      {"page count past the entry", n, l2, poke(0x2014, 0x10000000, true), part, 3, 2, 0, "do not fit in it", false},
      {"no pages", n, l2, poke(0x2014, 0, true), part, 3, 2, 0, "lists no pages", false},
      {"reference past the bins", n, l2, poke(0x2028, 0x7FFFF000, true), part, 3, 2, 0, "lies outside the hive bins data", false},
      {"reference data past the entry", n, l2, poke(0x202C, 0x7FFFF000, true), part, 3, 2, 0, "outside the hive bins data", false},
      {"huge bins size", n, l2, poke(0x2010, 0xFFFFF000, true), part, 3, 2, 0, "beyond what a hive can hold", false},
      {"log cut inside an entry header", n, l2, cut(0x2000 + 20), part, 3, 2, 0, "cut short by the end of the log", false},
      {"log cut inside an entry", n, l2, cut(0x2000 + 600), part, 3, 2, 0, "runs past the end of the log", false},
      {"log cut inside its header", n, l2, cut(300), all, 2, 1, 0, "", false},
      {"log cut to its header", n, l2, cut(512), all, 2, 1, 0, "", false},
      {"old log cut inside its pages", o, l1, cut(0x2000), none, 0, 0, 0, "too short for the 64 dirty pages", false},
      {"old log cut inside its vector", o, l1, cut(600), none, 0, 0, 0, "dirty vector runs past the end of the log", false},
      {"old log marking every page", o, l1, [](Bytes& b) { std::fill(b.begin() + 516, b.begin() + 516 + 119, 0xFF); }, none, 0, 0, 0,
       "too short for the 952 dirty pages", false},
      {"old log claiming 4 GiB", o, l1, [](Bytes& b) { detail::store32(&b[40], 0xFFFFF000); detail::store32(&b[508], base_block_checksum(b.data())); },
       none, 0, 0, 0, "not one a hive can have", false},
  };
  for (const Damage& row : rows) {
    SCOPED_TRACE(row.what);
    const fs::path dir = scratch(std::string(row.folder) + "-" + std::to_string(&row - rows));
    for (const auto& e : fs::directory_iterator(kData / row.folder)) fs::copy_file(e.path(), dir / e.path().filename(), fs::copy_options::overwrite_existing);
    Bytes log = slurp(dir / row.log);
    row.change(log);
    spill(dir / row.log, log);

    const fs::path hive = dir / (row.folder == n ? "NewDirtyHive" : "OldDirtyHive");
    const Bytes primary_bytes = slurp(hive);
    WatchedSource primary(primary_bytes), watched(log);
    std::vector<LogInput> logs = find_logs(hive);
    for (LogInput& in : logs) {
      if (fs::path(in.name).filename() == row.log) in.source = std::shared_ptr<Source>(&watched, [](Source*) {});
    }
    const Recovery mine = recover(primary, logs);
    EXPECT_FALSE(primary.outside || watched.outside);
    EXPECT_EQ(mine.report.outcome, row.outcome) << mine.report.problem;
    EXPECT_EQ(mine.report.sequence_after, row.sequence);
    EXPECT_EQ(mine.report.entries_applied, row.entries);
    EXPECT_EQ(mine.report.dirty_pages_applied, row.pages);
    std::string message = mine.report.problem;
    const std::string folder = dir.string() + "/";
    if (message.rfind(folder, 0) == 0) message.erase(0, folder.size());
    if (row.python) {
      EXPECT_EQ(message, row.message);
      python_route(hive, dir / "python.out");
      EXPECT_EQ(fs::exists(dir / "python.out") ? slurp(dir / "python.out") : Bytes{}, mine.image.bytes());
    } else {
      EXPECT_NE(message.find(row.message), std::string::npos) << message;
    }
    if (!mine.image.empty()) {
      const MemoryFile file = MemoryFile::of(mine.image);
      EXPECT_GT(count(file.path()).first, 0);
    }
  }
  fs::remove_all(scratch_root());
}

}  // namespace

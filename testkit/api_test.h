// Shared pieces of the tests that drive the exports: the loaded library, records
// filled with a pattern to prove they were left alone, and whole-record comparison.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hive_builder.h"
#include "temp_hive.h"
#include "vesk_library.h"

namespace vesk::test {

inline constexpr unsigned char kPattern = 0xAB;

template <typename Record>
Record patterned() {
  Record r;
  std::memset(&r, kPattern, sizeof r);
  return r;
}

template <typename Record>
bool untouched(const Record& r) {
  const auto* p = reinterpret_cast<const unsigned char*>(&r);
  for (std::size_t i = 0; i < sizeof r; ++i) {
    if (p[i] != kPattern) return false;
  }
  return true;
}

template <typename Record>
std::vector<unsigned char> image(const Record& r) {
  const auto* p = reinterpret_cast<const unsigned char*>(&r);
  return {p, p + sizeof r};
}

// The record's copy of the cell, without the file offset in front of it.
template <typename Record>
std::vector<unsigned char> copied(const Record& r) {
  std::vector<unsigned char> all = image(r);
  return {all.begin() + 4, all.end()};
}

// The bytes of `file` at [at, at + n), as a record image would hold them.
inline std::vector<unsigned char> slice(const Bytes& file, std::uint32_t at, std::size_t n) {
  std::vector<unsigned char> out(n, 0);
  for (std::size_t i = 0; i < n && at + i < file.size(); ++i) out[i] = file[at + i];
  return out;
}

// Names parameterised rows by their place in the table; SCOPED_TRACE says what they are.
struct RowIndex {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return "row" + std::to_string(info.index);
  }
};

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vesk().loaded()) << "missing: " << vesk().missing(); }
  static VeskLibrary& vesk() { return library(); }

  // Opens `bytes` as a hive file that lives as long as the test.
  HiveHandle* open(const Bytes& bytes) {
    files_.push_back(std::make_unique<TempHive>(bytes));
    HiveHandle* h = vesk().OpenRegistryFile(files_.back()->path());
    if (h != nullptr) handles_.push_back(h);
    return h;
  }
  void TearDown() override {
    for (HiveHandle* h : handles_) vesk().CloseRegistryFile(h);
  }
  // Closes a handle from open() before the test ends.
  void close(HiveHandle* h) {
    vesk().CloseRegistryFile(h);
    handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end());
  }

  KeyRecord root_of(HiveHandle* h) {
    KeyRecord key = patterned<KeyRecord>();
    EXPECT_EQ(vesk().SearchRootKey(h, &key), 1);
    return key;
  }

 private:
  std::vector<std::unique_ptr<TempHive>> files_;
  std::vector<HiveHandle*> handles_;
};

}  // namespace vesk::test

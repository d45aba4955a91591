// Builds hive files byte by byte for tests: a valid 1.3 base block, 4 KiB bins, and
// "nk", "lf", value-list, "vk" and data cells. Every placement returns its offsets, so
// a test can break exactly one field with a poke before taking the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vesk/hive.hpp"  // the value type numbers, kTypeString and the rest

namespace vesk::test {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 text as UTF-16LE bytes, without and with a terminating zero unit.
Bytes utf16(std::string_view utf8);
Bytes utf16z(std::string_view utf8);
Bytes le32(std::uint32_t v);

// A placed cell: its cell offset (from the first bin) and the file offset of its contents.
struct Placed {
  std::uint32_t cell = 0;
  std::uint32_t contents = 0;
};

// A key added to the builder; `id` names it in later calls.
struct KeyRef : Placed {
  std::size_t id = 0;
};

struct ValueRef : Placed {
  Placed data;  // contents 0 when the data is inline
};

class HiveBuilder {
 public:
  HiveBuilder();

  // The root key: flags 0x2C, and the base block's root cell points at it. Add it first
  // to make it the first cell of the first bin, where the library looks for it.
  KeyRef add_root(std::string_view name);
  // A key under `parent`, flags 0x20; the name bytes are stored as given.
  KeyRef add_key(std::string_view name, const KeyRef& parent, std::uint16_t flags = 0x20);

  // A value of `key`. Data of 4 bytes or fewer is stored inline. `name_flags` bit 0
  // says the name is 8-bit text; clear it (and pass UTF-16LE bytes) for other names.
  ValueRef add_value(const KeyRef& key, std::string_view name, std::uint32_t type,
                     const Bytes& data, std::uint16_t name_flags = 1);

  // A raw cell holding `contents`, placed now.
  Placed add_cell(const Bytes& contents);
  // Starts a new bin for the cells that follow.
  void start_bin();

  // Overrides the list the builder would lay out for `key` (cell offset and count).
  void set_subkey_list(const KeyRef& key, std::uint32_t cell, std::uint32_t count);

  // Lays out the subkey lists ("lf", children in the order added) and value lists, and
  // fills the base block. Called by bytes(); no key or value may be added afterwards.
  void finish();
  Placed subkey_list(const KeyRef& key);  // finishes first
  Placed value_list(const KeyRef& key);   // finishes first

  // Changes recorded now and applied over the finished image by bytes().
  void poke_u8(std::uint32_t at, std::uint8_t v);
  void poke_u16(std::uint32_t at, std::uint16_t v);
  void poke_u32(std::uint32_t at, std::uint32_t v);
  void poke(std::uint32_t at, const Bytes& v);

  // The file image, finished, with every poke applied.
  Bytes bytes();
  // File offsets of the bins, in order.
  const std::vector<std::uint32_t>& bins() const { return bins_; }

 private:
  struct Key {
    Placed nk;
    std::string name;
    std::vector<std::size_t> children;
    std::vector<std::uint32_t> values;  // cell offsets
    bool list_overridden = false;
    Placed list;
    Placed value_list;
  };

  Placed place(const Bytes& contents);
  void start_bin_of(std::uint32_t size);
  void close_bin();
  void put_u16(std::uint32_t at, std::uint16_t v);
  void put_u32(std::uint32_t at, std::uint32_t v);
  KeyRef place_key(std::string_view name, std::uint32_t parent_cell, std::uint16_t flags);

  Bytes data_;
  std::vector<std::uint32_t> bins_;
  std::uint32_t bin_end_ = 0;  // file offset where the current bin ends
  std::uint32_t next_ = 0;     // file offset of the next free byte in it
  std::vector<Key> keys_;
  std::vector<std::pair<std::uint32_t, Bytes>> pokes_;
  bool finished_ = false;
};

}  // namespace vesk::test

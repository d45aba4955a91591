// Lays hive files out the way Windows writes version 1.3 hives: base block, then bins
// of 4 KiB multiples, allocated cells with negative sizes, free space as one free cell.
#include "hive_builder.h"

#include <stdexcept>

#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

constexpr std::uint32_t kBinBytes = 4096;

std::uint32_t align(std::uint32_t v, std::uint32_t to) { return (v + to - 1) / to * to; }

void append_unit(Bytes& out, std::uint32_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

}  // namespace

Bytes utf16(std::string_view utf8) {
  Bytes out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::uint32_t c = b;
    std::size_t n = 1;
    if (b >= 0xF0) {
      c = b & 0x07u;
      n = 4;
    } else if (b >= 0xE0) {
      c = b & 0x0Fu;
      n = 3;
    } else if (b >= 0xC0) {
      c = b & 0x1Fu;
      n = 2;
    }
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      append_unit(out, 0xD800 + (c >> 10));
      append_unit(out, 0xDC00 + (c & 0x3FF));
    } else {
      append_unit(out, c);
    }
  }
  return out;
}

Bytes utf16z(std::string_view utf8) {
  Bytes out = utf16(utf8);
  append_unit(out, 0);
  return out;
}

Bytes le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

HiveBuilder::HiveBuilder() : data_(kFirstBinAt, 0) {
  put_u32(kBaseSignatureAt, kSigRegf);
  put_u32(kBasePrimarySequenceAt, 1);
  put_u32(kBaseSecondarySequenceAt, 1);
  put_u32(12, 0xD1A2B3C4);  // last written, low and high
  put_u32(16, 0x01D9A5E6);
  put_u32(kBaseMajorVersionAt, kBaseMajorVersion);
  put_u32(kBaseMinorVersionAt, kBaseMinorVersion);
  put_u32(kBaseFileTypeAt, kBaseFileType);
  put_u32(kBaseFileFormatAt, kBaseFileFormat);
  put_u32(kBaseRootCellAt, kBinHeaderBytes);
  put_u32(kBaseClusteringAt, kBaseClustering);
  const Bytes name = utf16("vesk-test");
  std::copy(name.begin(), name.end(), data_.begin() + 48);
  start_bin();
}

void HiveBuilder::put_u16(std::uint32_t at, std::uint16_t v) {
  data_[at] = static_cast<std::uint8_t>(v);
  data_[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void HiveBuilder::put_u32(std::uint32_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void HiveBuilder::close_bin() {
  if (next_ < bin_end_) put_u32(next_, bin_end_ - next_);  // the rest is one free cell
  next_ = bin_end_;
}

void HiveBuilder::start_bin() { start_bin_of(kBinBytes); }

void HiveBuilder::start_bin_of(std::uint32_t size) {
  if (finished_) throw std::logic_error("HiveBuilder: finished");
  close_bin();
  const auto at = static_cast<std::uint32_t>(data_.size());
  data_.resize(at + size, 0);
  put_u32(at, kSigHbin);
  put_u32(at + kBinOffsetAt, at - kFirstBinAt);
  put_u32(at + kBinSizeAt, size);
  bins_.push_back(at);
  next_ = at + kBinHeaderBytes;
  bin_end_ = at + size;
}

Placed HiveBuilder::place(const Bytes& contents) {
  if (finished_) throw std::logic_error("HiveBuilder: finished");
  const std::uint32_t size = align(kCellSizeBytes + static_cast<std::uint32_t>(contents.size()), 8);
  if (size > bin_end_ - next_) start_bin_of(align(kBinHeaderBytes + size, kBinBytes));
  const std::uint32_t at = next_;
  put_u32(at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
  std::copy(contents.begin(), contents.end(), data_.begin() + at + kCellSizeBytes);
  next_ += size;
  return {at - kFirstBinAt, at + kCellSizeBytes};
}

Placed HiveBuilder::add_cell(const Bytes& contents) { return place(contents); }

KeyRef HiveBuilder::place_key(std::string_view name, std::uint32_t parent_cell,
                              std::uint16_t flags) {
  Bytes nk(kNkNameAt + name.size(), 0);
  auto set16 = [&nk](std::uint32_t at, std::uint32_t v) {
    nk[at] = static_cast<std::uint8_t>(v);
    nk[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto set32 = [&](std::uint32_t at, std::uint32_t v) {
    set16(at, v & 0xFFFF);
    set16(at + 2, v >> 16);
  };
  set16(kNkSignatureAt, kSigNk);
  set16(kNkFlagsAt, flags);
  set32(4, 0x5A5A0000u + static_cast<std::uint32_t>(keys_.size()));  // timestamp
  set32(kNkParentAt, parent_cell);
  set32(kNkSubkeyListAt, kNoCell);
  set32(32, kNoCell);  // volatile subkey list
  set32(kNkValueListAt, kNoCell);
  set32(44, kNoCell);  // security
  set32(48, kNoCell);  // class name
  set16(kNkNameLengthAt, static_cast<std::uint32_t>(name.size()));
  std::copy(name.begin(), name.end(), nk.begin() + kNkNameAt);
  Key key;
  key.nk = place(nk);
  key.name = std::string(name);
  keys_.push_back(key);
  KeyRef ref;
  static_cast<Placed&>(ref) = key.nk;
  ref.id = keys_.size() - 1;
  return ref;
}

KeyRef HiveBuilder::add_root(std::string_view name) {
  KeyRef root = place_key(name, 0, kNkRootFlags);
  put_u32(kBaseRootCellAt, root.cell);
  return root;
}

KeyRef HiveBuilder::add_key(std::string_view name, const KeyRef& parent, std::uint16_t flags) {
  KeyRef key = place_key(name, parent.cell, flags);
  keys_.at(parent.id).children.push_back(key.id);
  return key;
}

ValueRef HiveBuilder::add_value(const KeyRef& key, std::string_view name, std::uint32_t type,
                                const Bytes& data, std::uint16_t name_flags) {
  ValueRef ref;
  Bytes vk(kVkNameAt + name.size(), 0);
  auto set32 = [&vk](std::uint32_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) vk[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  std::uint32_t size = static_cast<std::uint32_t>(data.size());
  if (data.size() <= static_cast<std::size_t>(kVkInlineMaxBytes)) {
    size |= kVkInlineFlag;
    std::copy(data.begin(), data.end(), vk.begin() + kVkDataAt);
  } else {
    ref.data = place(data);
    set32(kVkDataAt, ref.data.cell);
  }
  vk[0] = 'v';
  vk[1] = 'k';
  vk[kVkNameLengthAt] = static_cast<std::uint8_t>(name.size());
  vk[kVkNameLengthAt + 1] = static_cast<std::uint8_t>(name.size() >> 8);
  set32(kVkDataSizeAt, size);
  set32(kVkTypeAt, type);
  vk[kVkFlagsAt] = static_cast<std::uint8_t>(name_flags);
  vk[kVkFlagsAt + 1] = static_cast<std::uint8_t>(name_flags >> 8);
  std::copy(name.begin(), name.end(), vk.begin() + kVkNameAt);
  static_cast<Placed&>(ref) = place(vk);
  keys_.at(key.id).values.push_back(ref.cell);
  return ref;
}

void HiveBuilder::set_subkey_list(const KeyRef& key, std::uint32_t cell, std::uint32_t count) {
  Key& k = keys_.at(key.id);
  k.list_overridden = true;
  k.list = {cell, cell + kCellContentBias};
  put_u32(k.nk.contents + kNkSubkeyListAt, cell);
  put_u32(k.nk.contents + kNkSubkeyCountAt, count);
}

void HiveBuilder::finish() {
  if (finished_) return;
  for (Key& k : keys_) {
    if (!k.children.empty() && !k.list_overridden) {
      Bytes lf = {'l', 'f', static_cast<std::uint8_t>(k.children.size()),
                  static_cast<std::uint8_t>(k.children.size() >> 8)};
      for (std::size_t child : k.children) {
        const Key& c = keys_[child];
        const Bytes cell = le32(c.nk.cell);
        lf.insert(lf.end(), cell.begin(), cell.end());
        for (std::size_t i = 0; i < 4; ++i) {
          lf.push_back(i < c.name.size() ? static_cast<std::uint8_t>(c.name[i]) : 0);
        }
      }
      k.list = place(lf);
      put_u32(k.nk.contents + kNkSubkeyListAt, k.list.cell);
      put_u32(k.nk.contents + kNkSubkeyCountAt, static_cast<std::uint32_t>(k.children.size()));
    }
    if (!k.values.empty()) {
      Bytes list;
      for (std::uint32_t v : k.values) {
        const Bytes cell = le32(v);
        list.insert(list.end(), cell.begin(), cell.end());
      }
      k.value_list = place(list);
      put_u32(k.nk.contents + kNkValueListAt, k.value_list.cell);
      put_u32(k.nk.contents + kNkValueCountAt, static_cast<std::uint32_t>(k.values.size()));
    }
  }
  close_bin();
  finished_ = true;
  put_u32(kBaseBinsSizeAt, static_cast<std::uint32_t>(data_.size()) - kFirstBinAt);
  std::uint32_t sum = 0;
  for (std::uint32_t at = 0; at < kBaseChecksumAt; at += 4) {
    sum ^= static_cast<std::uint32_t>(data_[at]) | static_cast<std::uint32_t>(data_[at + 1]) << 8 |
           static_cast<std::uint32_t>(data_[at + 2]) << 16 |
           static_cast<std::uint32_t>(data_[at + 3]) << 24;
  }
  put_u32(kBaseChecksumAt, sum);
}

Placed HiveBuilder::subkey_list(const KeyRef& key) {
  finish();
  return keys_.at(key.id).list;
}

Placed HiveBuilder::value_list(const KeyRef& key) {
  finish();
  return keys_.at(key.id).value_list;
}

void HiveBuilder::poke_u8(std::uint32_t at, std::uint8_t v) { pokes_.push_back({at, {v}}); }

void HiveBuilder::poke_u16(std::uint32_t at, std::uint16_t v) {
  pokes_.push_back({at, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}});
}

void HiveBuilder::poke_u32(std::uint32_t at, std::uint32_t v) { pokes_.push_back({at, le32(v)}); }

void HiveBuilder::poke(std::uint32_t at, const Bytes& v) { pokes_.push_back({at, v}); }

Bytes HiveBuilder::bytes() {
  finish();
  Bytes out = data_;
  for (const auto& [at, v] : pokes_) {
    if (out.size() < at + v.size()) out.resize(at + v.size(), 0);
    std::copy(v.begin(), v.end(), out.begin() + at);
  }
  return out;
}

}  // namespace vesk::test

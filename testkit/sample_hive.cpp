// The sample hive and its offset fields, built with the shared hive builder.
#include "sample_hive.h"

#include "layout.h"

namespace vesk::test {

using namespace vesk::format;

SampleHive make_sample_hive() {
  SampleHive s;
  HiveBuilder b;
  s.root = b.add_root("ROOT");
  s.alpha = b.add_key("Alpha", s.root);
  s.beta = b.add_key("Beta", s.root);
  s.gamma = b.add_key("Gamma", s.beta);
  s.number = b.add_value(s.root, "Number", kTypeDword, le32(7));
  s.text = b.add_value(s.root, "Text", kTypeString, utf16z("hello"));
  s.blob = b.add_value(s.alpha, "Blob", kTypeBinary, {1, 2, 3, 4, 5, 6, 7, 8});
  s.root_list = b.subkey_list(s.root);
  s.root_values = b.value_list(s.root);
  s.bytes = b.bytes();
  return s;
}

std::vector<OffsetField> offset_fields(const SampleHive& s) {
  return {{"subkey-list", s.root.contents + kNkSubkeyListAt},
          {"lf-element", s.root_list.contents + kLfElementsAt},
          {"value-list", s.root.contents + kNkValueListAt},
          {"value-element", s.root_values.contents + kValueListElementBytes},
          {"data-cell", s.text.contents + kVkDataAt}};
}

std::vector<std::uint32_t> cell_starts(const Bytes& hive) {
  auto le32_at = [&hive](std::uint32_t at) { return file_u32(hive, at); };
  std::vector<std::uint32_t> starts;
  for (std::uint32_t bin = kFirstBinAt; bin + kBinHeaderBytes <= hive.size();) {
    const std::uint32_t bin_size = le32_at(bin + kBinSizeAt);
    std::uint32_t cell = bin + kBinHeaderBytes;
    while (cell + kCellSizeBytes <= bin + bin_size) {
      starts.push_back(cell);
      const auto size = static_cast<std::int32_t>(le32_at(cell));
      if (size == 0) break;
      cell += static_cast<std::uint32_t>(size < 0 ? -size : size);
    }
    bin += bin_size;
  }
  return starts;
}

std::vector<unsigned char> file_read(const Bytes& file, std::uint32_t at, std::size_t n,
                                     unsigned char fill) {
  std::vector<unsigned char> out(n, fill);
  for (std::size_t i = 0; i < n && at < file.size() && i < file.size() - at; ++i) {
    out[i] = file[at + i];
  }
  return out;
}

std::string file_text(const Bytes& file, std::uint32_t at, std::int32_t length) {
  if (length < 0) return {};
  const std::vector<unsigned char> bytes =
      file_read(file, at, static_cast<std::size_t>(length), ' ');
  std::string text(bytes.begin(), bytes.end());
  return text.substr(0, text.find('\0'));
}

std::uint32_t file_u32(const Bytes& file, std::uint32_t at) {
  const std::vector<unsigned char> b = file_read(file, at, 4, 0);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace vesk::test

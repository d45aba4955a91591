// The .reg format: "REGEDIT4", then for every key a "[path]" line, its values, and a
// blank line. REG_SZ shows as "text" when shown_text allows, REG_DWORD of 4 bytes as
// dword:xxxxxxxx, everything else as hex: (REG_BINARY) or hex(type): over the stored bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "code_set.h"
#include "output.h"
#include "report.h"
#include "entries.h"

namespace vesk::dump {

class RegWriter : public Sink {
 public:
  RegWriter(Output& out, const CodeSet& code_set, Report& report);
  bool shows_text(std::uint32_t type) const override;
  void key(const KeyEntry& key) override;
  void value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

  // A line of hex is broken after the comma that takes it to this column or beyond.
  static constexpr std::size_t kFoldColumn = 77;

 private:
  static void append_folded_hex(std::string& t, const std::vector<std::uint8_t>& bytes,
                                std::size_t column);

  Output& out_;
  const CodeSet& code_set_;
  Report& report_;
};

}  // namespace vesk::dump

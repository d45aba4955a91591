// The single-byte ANSI code pages of Windows that a REGEDIT4 file can be written in, as
// tables from byte to UTF-16. Nothing here knows the locale; see code_set.h for that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesk::dump {

struct CodePage {
  int number;             // 1252 and the like
  const char16_t* high;   // the characters of bytes 0x80..0xFF; 0 where a byte is undefined

  // The byte that stands for `unit` in this page; none when the page has no such byte
  // (so a text is written in it only when every unit reads back as itself).
  std::optional<std::uint8_t> byte_of(char16_t unit) const;
};

// The page numbered `number`, or nullptr when it is no single-byte ANSI code page.
const CodePage* find_code_page(int number);

// "874, 1250, ..., 1258": the numbers find_code_page accepts.
std::string code_page_list();

}  // namespace vesk::dump

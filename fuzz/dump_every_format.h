// vesk-dump's walker run over one file in every output format, its output thrown away:
// what the dump fuzzer does with each input and the regression replay does again.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

#include "dump.h"

namespace vesk::fuzz {

// Swallows everything, so that a long dump costs no memory and no copying.
class Discard : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char* /*s*/, std::streamsize n) override { return n; }
};

// True when every dump returned one of its three statuses (0, 1 or 2).
inline bool dump_every_format(const std::string& path) {
  Discard discard;
  std::ostream out(&discard);
  std::ostream err(&discard);
  for (auto format : {dump::Format::kReg, dump::Format::kRegedit4, dump::Format::kJson,
                      dump::Format::kTree, dump::Format::kTimeline}) {
    dump::Options options;
    options.format = format;
    options.shown.times = true;
    options.shown.full_data = true;
    const int status = dump::dump_file(path, options, out, err);
    if (status < 0 || status > 2) return false;
  }
  return true;
}

}  // namespace vesk::fuzz

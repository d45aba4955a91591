// Traces are raw arrays of TracedRead in this machine's byte order: written and read
// by the same build, moments apart.
#include "trace.h"

#include <fstream>

namespace vesk::bench {

bool save_trace(const std::string& path, const std::vector<TracedRead>& reads) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(reads.data()),
            static_cast<std::streamsize>(reads.size() * sizeof(TracedRead)));
  return static_cast<bool>(out);
}

std::vector<TracedRead> load_trace(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const auto bytes = static_cast<std::size_t>(in.tellg());
  std::vector<TracedRead> reads(bytes / sizeof(TracedRead));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(reads.data()),
          static_cast<std::streamsize>(reads.size() * sizeof(TracedRead)));
  if (!in) return {};
  return reads;
}

}  // namespace vesk::bench

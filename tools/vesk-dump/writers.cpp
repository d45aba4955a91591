// Picks the Sink for a format.
#include "writers.h"

#include "json_writer.h"
#include "line_writers.h"
#include "reg_writer.h"
#include "timeline_writer.h"
#include "tree_writer.h"

namespace vesk::dump {

std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  const Shown& shown,
                                  const CodePage* code_page, const LineLabel& label) {
  switch (format) {
    case Format::kJson: return std::make_unique<JsonWriter>(out, shown.one_value);
    case Format::kTree: return std::make_unique<TreeWriter>(out, code_set, shown);
    case Format::kTimeline: return std::make_unique<TimelineWriter>(out);
    case Format::kRegedit4:
      return std::make_unique<RegWriter>(out, code_page ? code_page : find_code_page(1252));
    case Format::kCsv: return std::make_unique<CsvWriter>(out, label);
    case Format::kJsonl: return std::make_unique<JsonlWriter>(out, label);
    case Format::kBodyfile: return std::make_unique<BodyfileWriter>(out, label);
    case Format::kText: return std::make_unique<TextWriter>(out);
    case Format::kReg: break;
  }
  return std::make_unique<RegWriter>(out);
}

}  // namespace vesk::dump

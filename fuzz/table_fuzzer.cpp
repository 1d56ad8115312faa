// Opens arbitrary bytes as a table and reads every cell the ways the rest of
// the system does. The readers must refuse what they cannot read with a
// message, and read the rest without crashing, hanging or allocating beyond
// what the files justify.
//
// Input: byte 0 chooses the names (bits 0-1: t.db + t.mb, t.dbf + t.dbt,
// t.dbf + t.fpt, t.dbc + t.dct; bit 2: upper-case names). The remaining
// bytes are the table file; when they contain kSplit, what follows the first
// kSplit is written as the memo or blob file beside it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "core/base/status.h"
#include "core/tables/table.h"
#include "core/tables/table_dump.h"
#include "core/tables/table_factory.h"
#include "fuzz/fuzz_file.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSplit = "%%COMPANION%%";

struct Names {
  const char* table;
  const char* companion;
};
constexpr Names kNames[] = {{"t.db", "t.mb"},   {"t.dbf", "t.dbt"}, {"t.dbf", "t.fpt"},
                            {"t.dbc", "t.dct"}, {"T.DB", "T.MB"},   {"T.DBF", "T.DBT"},
                            {"T.DBF", "T.FPT"}, {"T.DBC", "T.DCT"}};

void ReadEverything(velmar::Table& table) {
  const int columns = table.ColumnCount();
  for (int c = 0; c < columns; ++c) {
    const velmar::ColumnDef& def = table.Column(c);
    if (def.name.size() > (1u << 20)) std::abort();
  }
  // The cursor must visit exactly RecordCount records.
  const int64_t records = table.RecordCount();
  int64_t visited = 0;
  double sum = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    if (++visited > records) std::abort();
    for (int c = 0; c < columns; ++c) {
      const bool null = table.IsNull(c);
      sum += table.AsFloat(c);
      const velmar::Value value = table.GetValue(c);
      if (!null && velmar::IsNullValue(value) && table.Column(c).kind == velmar::FieldKind::kText) {
        // A text cell that is not null must have a value.
        std::abort();
      }
    }
  }
  if (visited != records) std::abort();
  std::string dump = velmar::DumpTableJson(table);
  dump += velmar::DumpTableText(table, ',');
  dump += velmar::DescribeTable(table);
  // Keeps the reads from being optimised away.
  volatile double sink = sum + static_cast<double>(dump.size());
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const Names& names = kNames[data[0] & 7];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string_view table_bytes = rest;
  std::string_view companion_bytes;
  const size_t split = rest.find(kSplit);
  if (split != std::string_view::npos) {
    table_bytes = rest.substr(0, split);
    companion_bytes = rest.substr(split + kSplit.size());
  }

  const fs::path& folder = velmar::fuzz::ScratchFolder();
  std::error_code ec;
  for (const Names& n : kNames) fs::remove(folder / n.companion, ec);
  const fs::path table_path = folder / names.table;
  velmar::fuzz::WriteScratchFile(table_path, table_bytes);
  if (split != std::string_view::npos) {
    velmar::fuzz::WriteScratchFile(folder / names.companion, companion_bytes);
  }

  std::unique_ptr<velmar::Table> table;
  const velmar::Status status = velmar::OpenTable(table_path, table);
  if (!status.ok()) {
    if (status.message().empty()) std::abort();
  } else {
    if (table == nullptr) std::abort();
    ReadEverything(*table);
  }
  fs::remove(table_path, ec);
  return 0;
}

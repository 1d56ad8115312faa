#ifndef VELMAR_CORE_TABLES_PARADOX_HEADER_H_
#define VELMAR_CORE_TABLES_PARADOX_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/tables/table.h"

// The header of a Paradox table file (.db): the counts, the field types and
// names, the code page; read at open and made anew for every save.
namespace velmar::paradox {

constexpr int kWriteHeaderUnit = 2048;
constexpr int kCodePageRoman8 = 1051;

// Where a field sits in the record.
struct Field {
  uint8_t code = 0;
  int offset = 0;
  int size = 0;
};

// The header facts the dumps show.
struct HeaderFacts {
  int version_byte = 12;
  int file_type = 2;
  int code_page_word = -1;  // -1: the file stores none
  int sort_order = 0;
  std::string sort_order_id;
  int header_size = 0;
  int block_size = 0;
  int primary_key_fields = 0;
  int64_t header_record_count = 0;
};

// A header as read.
struct Header {
  HeaderFacts facts;
  int record_size = 0;
  int level = 7;
  int code_page = 437;
  std::vector<ColumnDef> columns;
  std::vector<Field> fields;
};

// Reads the header of a table file; encrypted and malformed files are
// refused with a message ready to show.
Status ParseHeader(const std::vector<uint8_t>& file, Header& out);

// The fields of a new table of `level` from the editor's columns.
Status MakeFields(const std::vector<ColumnDef>& columns, int level, std::vector<Field>& fields,
                  std::vector<ColumnDef>& defs, int& record_size);

// How the records of a table being written fill its data blocks.
struct BlockPlan {
  int block_kb = 0;
  size_t block_size = 0;
  size_t per_block = 0;  // records a block
  size_t blocks = 0;
};
// The smallest block that holds a record and keeps the block count in a word.
Status PlanBlocks(int level, int record_size, int record_count, BlockPlan& plan);

// What goes into the header of a table being written.
struct HeaderInput {
  std::filesystem::path path;
  int level = 7;
  int code_page = 437;
  const std::vector<ColumnDef>* columns = nullptr;
  const std::vector<Field>* fields = nullptr;
  int record_size = 0;
  int record_count = 0;
  int64_t max_autoinc = 0;
  BlockPlan plan;
};
// The header bytes of a table being written, padded to its full size, and
// the facts it states.
Status BuildHeader(const HeaderInput& in, std::vector<uint8_t>& header, HeaderFacts& facts);

// Fixed sizes in the record; 0 for the types whose size the header gives.
int FixedSize(uint8_t code);
int LevelOfVersion(int version);
int VersionOfLevel(int level);
// "3.5", "4.x", ... for the dumps.
const char* VersionName(int version);
// "cp1251", "hp_roman8", ... for the dumps.
std::string TextCodecName(int code_page);

}  // namespace velmar::paradox

#endif  // VELMAR_CORE_TABLES_PARADOX_HEADER_H_

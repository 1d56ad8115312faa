#ifndef VELMAR_CORE_TABLES_DBF_MEMO_H_
#define VELMAR_CORE_TABLES_DBF_MEMO_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/status.h"

// The memo file of a dBase (.dbt) or FoxPro (.fpt, .dct) table: blocks that
// the records point at by number.
namespace velmar::dbf {

enum class MemoStyle { kNone, kDbase3, kDbase4, kFoxPro };

constexpr uint64_t kMaxMemoBytes = uint64_t{1} << 31;

struct MemoFile {
  MemoStyle style = MemoStyle::kNone;
  std::vector<uint8_t> bytes;
  uint32_t block_size = 512;
  bool missing = false;
  std::filesystem::path path;        // as found or last written
  std::filesystem::path table_path;  // the table path `path` belongs to

  // The memo stored from `block`; nullopt for block 0 and for a block
  // outside the file.
  std::optional<std::string_view> Stored(uint32_t block) const;
  // Where the memo file of the table at `table` is (or is to be) written.
  std::filesystem::path PathFor(const std::filesystem::path& table) const;
};

// Finds the memo file of the table at `table_path` (whatever the case of
// its name) and reads it. A missing file is no error: `missing` is set and
// the style the table's version implies is kept for writing.
Status LoadMemoFile(const std::filesystem::path& table_path, uint8_t version, bool vfp,
                    MemoFile& memo);

// The block number a record's memo field of `length` bytes holds: 10 ASCII
// digits or 4 little-endian bytes; 0 for none or for damage.
uint32_t MemoReference(const uint8_t* p, int length);
// Writes a block number into a memo field (0 leaves 10-digit fields blank).
void StoreMemoReference(uint8_t* p, int length, uint32_t block);

// Builds a new memo file block by block.
class MemoWriter {
 public:
  MemoWriter(MemoStyle style, uint32_t block_size);
  // Appends `content` in blocks of its own and gives their first number.
  Status Add(std::string_view content, uint32_t memo_type, uint32_t& block);
  // The file with its header filled in.
  std::vector<uint8_t> Finish();

 private:
  MemoStyle style_;
  uint32_t block_size_;
  std::vector<uint8_t> bytes_;
};

// Finds `stem` + `ext` beside `table` whatever the case of either; an exact
// match wins. Empty when there is none.
std::filesystem::path FindCompanion(const std::filesystem::path& table, const std::string& ext);

}  // namespace velmar::dbf

#endif  // VELMAR_CORE_TABLES_DBF_MEMO_H_

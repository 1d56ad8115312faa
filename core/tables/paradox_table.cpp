#include "core/tables/paradox_table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/base/file_util.h"
#include "core/tables/paradox_blob.h"
#include "core/tables/paradox_format.h"
#include "core/tables/paradox_header.h"
#include "core/tables/paradox_values.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_files.h"
#include "core/tables/value_text.h"

namespace velmar {

namespace fs = std::filesystem;
using namespace paradox;

namespace {

// Files that belong to a table: blobs, indexes, validity checks, views.
bool IsCompanionExtension(const std::string& ext) {
  if (ext == ".mb" || ext == ".px" || ext == ".val" || ext == ".tv" || ext == ".fam") return true;
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  // Secondary indexes: .Xnn/.Ynn (hex field number) and .XGn/.YGn.
  return ext.size() == 4 && (ext[1] == 'x' || ext[1] == 'y') &&
         ((hex(ext[2]) && hex(ext[3])) || (ext[2] == 'g' && hex(ext[3])));
}

// Primary (.PX) and secondary (.Xnn/.Ynn, .XGn/.YGn) index files.
bool IsIndexExtension(const std::string& ext) {
  return ext != ".mb" && ext != ".val" && ext != ".tv" && ext != ".fam" &&
         IsCompanionExtension(ext);
}

// Removes the index files of the table at `path`: its name in that very case,
// for a table of the same name in other letters is another table.
// They index the file as it was before the table was written unkeyed; left
// in place, other programs would take them for the table's own and refuse
// it as out of date. Best effort: the table itself is already saved.
void RemoveStaleIndexes(const fs::path& path) {
  const std::vector<fs::path> stale =
      FilesOfTable(path, [&path](const std::string& ext, const fs::directory_entry& entry) {
        std::error_code type_ec;
        return entry.path().stem() == path.stem() && IsIndexExtension(ext) &&
               entry.is_regular_file(type_ec);
      });
  std::error_code ec;
  for (const fs::path& p : stale) fs::remove(p, ec);
}

class ParadoxTable final : public Table {
 public:
  ParadoxTable(fs::path path, int level, int code_page, std::vector<ColumnDef> columns,
               std::vector<Field> fields, int record_size)
      : level_(level),
        code_page_(code_page),
        columns_(std::move(columns)),
        fields_(std::move(fields)),
        record_size_(record_size) {
    SetPath(std::move(path));
    blobs_.emplace_back();  // index 0 means "no blob"
  }

  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  const ColumnDef& Column(int index) const override { return columns_[index]; }
  int RecordCount() const override { return record_count_; }

  bool IsNullAt(int row, int column) const override {
    const uint8_t* p = Cell(row, column);
    if (!p) return true;
    const Field& f = fields_[column];
    if (IsBlobType(f.code)) return BlobLength(p, f) == 0;
    return AllZero(p, f.size);
  }
  float AsFloatAt(int row, int column) const override {
    const uint8_t* p = Cell(row, column);
    return p ? DecodeFloat(fields_[column].code, p) : 0.0f;
  }
  Value ValueAt(int row, int column) const override;
  std::string ValueJsonAt(int row, int column) const override;

  Status SetValueAt(int row, int column, const Value& value) override {
    Status status = StoreValue(row, column, value);
    if (status.ok()) SetModified(true);
    return status;
  }

  TableFormat Format() const override { return {TableFamily::kParadox, level_}; }
  int CodePage() const override { return code_page_; }
  Status Save() override { return WriteAs(Path(), level_); }
  Status SaveAs(const fs::path& path, const TableFormat& format) override {
    if (format.family != TableFamily::kParadox) {
      // A dBase or FoxPro copy is written beside; this table stays a Paradox
      // table and the caller opens the copy.
      std::unique_ptr<Table> converted;
      return ConvertTable(*this, path, format, converted);
    }
    return WriteAs(path, format.level);
  }

  std::vector<std::pair<std::string, std::string>> DumpFacts() const override;
  std::vector<std::pair<std::string, std::string>> ColumnDumpFacts(int column) const override {
    return {{"type_code", std::to_string(fields_[column].code)}};
  }

  size_t HeldBytes() const {
    size_t n = records_.capacity();
    for (const Bytes& b : blobs_) n += b.capacity();
    return n;
  }

  // --- Loading ---
  Status Load(const std::vector<uint8_t>& file, const HeaderFacts& facts);
  Status LoadBlobs(const std::vector<uint8_t>* mb) {
    blob_file_missing_ = mb == nullptr;
    return ReadBlobs(mb, {records_, record_size_, record_count_, fields_}, blobs_);
  }
  void SetFacts(const HeaderFacts& facts) { facts_ = facts; }
  void SetBlobPath(fs::path p) { blob_path_ = std::move(p); }

 protected:
  Status AppendRecord() override {
    records_.resize(records_.size() + record_size_, 0);
    ++record_count_;
    MoveTo(record_count_ - 1);
    NumberNewRecord(record_count_ - 1);
    SetModified(true);
    return Status::Ok();
  }
  Status InsertRecord() override {
    const int at = std::min(Position(), record_count_);
    records_.insert(records_.begin() + static_cast<ptrdiff_t>(at) * record_size_,
                    static_cast<size_t>(record_size_), uint8_t{0});
    ++record_count_;
    MoveTo(at);
    NumberNewRecord(at);
    SetModified(true);
    return Status::Ok();
  }
  Status DeleteRecord() override {
    if (Eof()) return Status::Invalid("Нет текущей записи для удаления");
    const auto begin = records_.begin() + static_cast<ptrdiff_t>(Position()) * record_size_;
    records_.erase(begin, begin + record_size_);
    --record_count_;
    // The next record becomes current, or the new last one.
    MoveTo(Position() < record_count_ ? Position() : record_count_ - 1);
    SetModified(true);
    return Status::Ok();
  }

 private:
  const uint8_t* Cell(int row, int column) const {
    if (row < 0 || row >= record_count_ || column < 0 || column >= ColumnCount()) return nullptr;
    return records_.data() + static_cast<size_t>(row) * record_size_ + fields_[column].offset;
  }
  uint8_t* MutableCell(int row, int column) {
    return records_.data() + static_cast<size_t>(row) * record_size_ + fields_[column].offset;
  }
  static uint32_t BlobLength(const uint8_t* p, const Field& f) {
    return LoadLe32(p + f.size - kBlobDescriptorSize + 4);
  }
  // The blob bytes of a cell: in the leader or in the blob store.
  std::string_view BlobBytes(const uint8_t* p, const Field& f) const {
    const uint8_t* desc = p + f.size - kBlobDescriptorSize;
    const uint32_t length = LoadLe32(desc + 4);
    const uint32_t index = LoadLe32(desc);
    if (length == 0) return {};
    if (index == 0) {
      return {reinterpret_cast<const char*>(p),
              std::min<size_t>(length, f.size - kBlobDescriptorSize)};
    }
    const Bytes& b = blobs_[index];
    return {reinterpret_cast<const char*>(b.data()), b.size()};
  }
  Status StoreValue(int row, int column, const Value& value);
  int64_t MaxAutoInc(const std::vector<uint8_t>& records, size_t field) const;
  void NumberNewRecord(int row);
  Status SetBlob(int row, int column, std::string_view bytes);
  Status CheckText(const std::string& utf8, size_t max_bytes, const ColumnDef& def,
                   std::string& encoded) const;
  Status TranscodeText(int code_page, std::vector<uint8_t>& records) const;
  Status Build(const fs::path& path, int level, std::vector<uint8_t>& db, std::vector<uint8_t>& mb,
               HeaderFacts& facts) const;
  Status WriteAs(const fs::path& path, int level);

  int level_;
  int code_page_;
  std::vector<ColumnDef> columns_;
  std::vector<Field> fields_;
  int record_size_;
  int record_count_ = 0;
  std::vector<uint8_t> records_;
  std::vector<Bytes> blobs_;
  HeaderFacts facts_;
  fs::path blob_path_;
  bool blob_file_missing_ = false;
  int64_t last_autoinc_ = -1;  // -1: not yet taken from the records
};

// The largest autoincrement value the records hold in `field`; 0 for none.
int64_t ParadoxTable::MaxAutoInc(const std::vector<uint8_t>& records, size_t field) const {
  int64_t max = 0;
  const uint8_t* base = records.data() + fields_[field].offset;
  for (int r = 0; r < record_count_; ++r) {
    const uint32_t raw = LoadBe32(base + static_cast<size_t>(r) * record_size_);
    if (raw) max = std::max<int64_t>(max, static_cast<int32_t>(raw ^ 0x80000000u));
  }
  return max;
}

// Gives a new record's autoincrement fields the next numbers, as Paradox
// does; an explicit value set later replaces them.
void ParadoxTable::NumberNewRecord(int row) {
  for (size_t c = 0; c < fields_.size(); ++c) {
    if (fields_[c].code != kAutoInc) continue;
    if (last_autoinc_ < 0) last_autoinc_ = MaxAutoInc(records_, c);
    if (last_autoinc_ < std::numeric_limits<int32_t>::max()) {
      StoreBe32(MutableCell(row, static_cast<int>(c)),
                static_cast<uint32_t>(++last_autoinc_) ^ 0x80000000u);
    }
  }
}

Value ParadoxTable::ValueAt(int row, int column) const {
  const uint8_t* p = Cell(row, column);
  if (!p) return {};
  const Field& f = fields_[column];
  if (IsBlobType(f.code)) {
    if (BlobLength(p, f) == 0) return {};
    std::string_view bytes = BlobBytes(p, f);
    if (f.code == kMemo) return DecodeToUtf8(bytes, code_page_);
    return Bytes(bytes.begin(), bytes.end());
  }
  return DecodeValue(f, p, code_page_);
}

std::string ParadoxTable::ValueJsonAt(int row, int column) const {
  const uint8_t* p = Cell(row, column);
  if (!p) return {};
  const Field& f = fields_[column];
  if (IsBlobType(f.code) && f.code != kMemo) {
    const uint32_t length = BlobLength(p, f);
    if (length == 0) return {};
    return "{\"kind\":\"memo\",\"length\":" + std::to_string(BlobBytes(p, f).size()) + "}";
  }
  if (f.code == kBytes && !AllZero(p, f.size)) {
    return "{\"kind\":\"bytes\",\"hex\":\"" + HexText(Bytes(p, p + f.size)) + "\"}";
  }
  return {};
}

std::vector<std::pair<std::string, std::string>> ParadoxTable::DumpFacts() const {
  static const char* kFileTypes[] = {"indexed .DB (keyed table)", "primary index .PX",
                                     "non-indexed .DB (unkeyed table)"};
  std::vector<std::pair<std::string, std::string>> facts;
  facts.emplace_back("companions", CompanionListJson(Path(), IsCompanionExtension));
  facts.emplace_back("format", "\"paradox\"");
  facts.emplace_back("version_byte", std::to_string(facts_.version_byte));
  facts.emplace_back("version", JsonQuote(VersionName(facts_.version_byte)));
  facts.emplace_back("level", std::to_string(level_));
  facts.emplace_back("file_type", std::to_string(facts_.file_type));
  facts.emplace_back("file_type_meaning", JsonQuote(kFileTypes[facts_.file_type == 0 ? 0 : 2]));
  facts.emplace_back("code_page", facts_.code_page_word < 0
                                      ? std::string("null")
                                      : std::to_string(facts_.code_page_word));
  facts.emplace_back("sort_order", std::to_string(facts_.sort_order));
  facts.emplace_back("sort_order_id", facts_.sort_order_id.empty()
                                          ? std::string("null")
                                          : JsonQuote(facts_.sort_order_id));
  facts.emplace_back("text_codec", JsonQuote(TextCodecName(code_page_)));
  facts.emplace_back("encrypted", "false");
  facts.emplace_back("record_size", std::to_string(record_size_));
  facts.emplace_back("header_size", std::to_string(facts_.header_size));
  facts.emplace_back("block_size", std::to_string(facts_.block_size));
  facts.emplace_back("primary_key_fields", std::to_string(facts_.primary_key_fields));
  facts.emplace_back("header_record_count", std::to_string(facts_.header_record_count));
  if (blob_file_missing_) facts.emplace_back("memo_file_missing", "true");
  return facts;
}

Status ParadoxTable::CheckText(const std::string& utf8, size_t max_bytes, const ColumnDef& def,
                               std::string& encoded) const {
  if (!CanEncode(utf8, code_page_)) {
    return Status::Invalid("Текст для поля «" + def.name +
                           "» содержит символы, которых нет в кодовой странице таблицы");
  }
  encoded = EncodeFromUtf8(utf8, code_page_);
  if (encoded.size() > max_bytes) {
    return Status::Invalid("Текст не помещается в поле «" + def.name + "» (не более " +
                           std::to_string(max_bytes) + " символов)");
  }
  return Status::Ok();
}

Status ParadoxTable::SetBlob(int row, int column, std::string_view bytes) {
  const Field& f = fields_[column];
  uint8_t* p = MutableCell(row, column);
  const int leader = f.size - kBlobDescriptorSize;
  std::memset(p, 0, f.size);
  if (bytes.empty()) return Status::Ok();
  if (bytes.size() > 0x7FFFFFFFu) return Status::Invalid("Слишком большое значение поля");
  uint8_t* desc = p + leader;
  // Text memos keep a copy of their beginning in the record.
  if (f.code == kMemo || bytes.size() <= static_cast<size_t>(leader)) {
    std::memcpy(p, bytes.data(), std::min<size_t>(bytes.size(), leader));
  }
  uint32_t index = 0;
  if (bytes.size() > static_cast<size_t>(leader)) {
    blobs_.emplace_back(bytes.begin(), bytes.end());
    index = static_cast<uint32_t>(blobs_.size() - 1);
  }
  StoreLe32(desc, index);
  StoreLe32(desc + 4, static_cast<uint32_t>(bytes.size()));
  return Status::Ok();
}

Status ParadoxTable::StoreValue(int row, int column, const Value& value) {
  if (column < 0 || column >= ColumnCount()) return Status::Invalid("Нет такого поля");
  if (row < 0 || row >= record_count_) return Status::Invalid("Нет текущей записи");
  const Field& f = fields_[column];
  const ColumnDef& def = columns_[column];
  const Status refuse = Status::Invalid("Значение не подходит для поля «" + def.name + "»");
  if (IsNullValue(value)) {
    if (IsBlobType(f.code)) return SetBlob(row, column, {});
    std::memset(MutableCell(row, column), 0, f.size);
    return Status::Ok();
  }
  switch (f.code) {
    case kAlpha: {
      std::string text, encoded;
      if (!TextOfValue(value, text)) return refuse;
      VELMAR_RETURN_IF_ERROR(CheckText(text, f.size, def, encoded));
      uint8_t* p = MutableCell(row, column);
      std::memset(p, 0, f.size);
      std::memcpy(p, encoded.data(), encoded.size());
      return Status::Ok();
    }
    case kMemo: {
      auto* s = std::get_if<std::string>(&value);
      if (!s) return refuse;
      std::string encoded;
      VELMAR_RETURN_IF_ERROR(CheckText(*s, 0x7FFFFFFF, def, encoded));
      return SetBlob(row, column, encoded);
    }
    case kBlob:
    case kFormattedMemo:
    case kOle:
    case kGraphic: {
      if (auto* b = std::get_if<Bytes>(&value)) {
        return SetBlob(row, column,
                       std::string_view(reinterpret_cast<const char*>(b->data()), b->size()));
      }
      if (auto* s = std::get_if<std::string>(&value)) return SetBlob(row, column, *s);
      return refuse;
    }
    case kBytes: {
      auto* b = std::get_if<Bytes>(&value);
      if (!b || b->size() > static_cast<size_t>(f.size)) return refuse;
      uint8_t* p = MutableCell(row, column);
      std::memset(p, 0, f.size);
      std::memcpy(p, b->data(), b->size());
      return Status::Ok();
    }
    default:
      break;
  }
  uint8_t buf[kBcdSize] = {};
  if (!EncodeFixed(f, def.decimals, value, buf)) return refuse;
  if (f.code == kAutoInc && last_autoinc_ >= 0) {
    last_autoinc_ =
        std::max<int64_t>(last_autoinc_, static_cast<int32_t>(LoadBe32(buf) ^ 0x80000000u));
  }
  std::memcpy(MutableCell(row, column), buf, f.size);
  return Status::Ok();
}

// --- Reading ---

Status ParadoxTable::Load(const std::vector<uint8_t>& file, const HeaderFacts& facts) {
  facts_ = facts;
  const size_t size = file.size();
  const size_t header = facts.header_size;
  const size_t block_size = facts.block_size;
  // Blocks that are at least partly present; the last one may be cut short.
  const size_t present = size <= header ? 0 : (size - header + block_size - 1) / block_size;
  std::vector<bool> visited(std::min<size_t>(present, 65535) + 1, false);
  const uint8_t* base = file.data();
  unsigned block = LoadLe16(base + 0x0E);
  const size_t capacity = (block_size - 6) / record_size_;
  while (block != 0) {
    if (block > present) {
      return Status::Corrupt("Цепочка блоков данных таблицы Paradox указывает за конец файла");
    }
    if (visited[block]) return Status::Corrupt("Цепочка блоков данных таблицы Paradox замкнута");
    visited[block] = true;
    const size_t offset = header + (block - 1) * block_size;
    if (offset + 6 > size) {
      return Status::Corrupt("Блок данных таблицы Paradox обрезан");
    }
    const unsigned next = LoadLe16(base + offset);
    const auto add = static_cast<int16_t>(LoadLe16(base + offset + 4));
    if (add >= 0) {
      if (add % record_size_ != 0) {
        return Status::Corrupt("Блок данных таблицы Paradox повреждён");
      }
      const size_t count = static_cast<size_t>(add) / record_size_ + 1;
      if (count > capacity || offset + 6 + count * record_size_ > size) {
        return Status::Corrupt("Блок данных таблицы Paradox повреждён");
      }
      if (record_count_ + count > static_cast<size_t>(std::numeric_limits<int>::max() / 2)) {
        return Status::Corrupt("Слишком много записей в таблице Paradox");
      }
      records_.insert(records_.end(), base + offset + 6, base + offset + 6 + count * record_size_);
      record_count_ += static_cast<int>(count);
    }
    block = next;
  }
  records_.shrink_to_fit();
  return Status::Ok();
}

// --- Writing ---

// Re-encodes the Alpha fields of `records` (a copy to be written) from the
// table's code page into `code_page`; only Alpha carries text at level 3,
// as memos need level 4.
Status ParadoxTable::TranscodeText(int code_page, std::vector<uint8_t>& records) const {
  for (int r = 0; r < record_count_; ++r) {
    for (size_t c = 0; c < fields_.size(); ++c) {
      const Field& f = fields_[c];
      if (f.code != kAlpha) continue;
      uint8_t* p = records.data() + static_cast<size_t>(r) * record_size_ + f.offset;
      const void* nul = std::memchr(p, 0, f.size);
      const size_t len = nul ? static_cast<const uint8_t*>(nul) - p : f.size;
      std::string text =
          DecodeToUtf8(std::string_view(reinterpret_cast<char*>(p), len), code_page_);
      if (!CanEncode(text, code_page)) {
        return Status::Unsupported("Текст поля «" + columns_[c].name +
                                   "» нельзя записать в кодовой странице 437");
      }
      std::string encoded = EncodeFromUtf8(text, code_page);
      if (encoded.size() != len) return Status::Unsupported("Текст не помещается в поле");
      std::memcpy(p, encoded.data(), len);
    }
  }
  return Status::Ok();
}

Status ParadoxTable::Build(const fs::path& path, int level, std::vector<uint8_t>& db,
                           std::vector<uint8_t>& mb, HeaderFacts& facts) const {
  if (level != 3 && level != 4 && level != 5 && level != 7) {
    return Status::Invalid("Неверный уровень таблицы Paradox: " + std::to_string(level));
  }
  for (size_t c = 0; c < fields_.size(); ++c) {
    if (MinimumLevel(fields_[c].code) > level) {
      return Status::Unsupported(
          "Поле «" + columns_[c].name + "» типа " + std::string(1, columns_[c].native_type) +
          " нельзя записать в таблицу Paradox уровня " + std::to_string(level));
    }
  }
  HeaderInput in;
  in.path = path;
  in.level = level;
  // Level 3 files carry no code page; readers take them as 437.
  in.code_page = level == 3 ? 437 : code_page_;
  in.columns = &columns_;
  in.fields = &fields_;
  in.record_size = record_size_;
  in.record_count = record_count_;
  std::vector<uint8_t> records = records_;
  if (in.code_page != code_page_) VELMAR_RETURN_IF_ERROR(TranscodeText(in.code_page, records));
  for (size_t c = 0; c < fields_.size(); ++c) {
    if (fields_[c].code == kAutoInc)
      in.max_autoinc = std::max(in.max_autoinc, MaxAutoInc(records, c));
  }
  VELMAR_RETURN_IF_ERROR(PlanBlocks(level, record_size_, record_count_, in.plan));
  VELMAR_RETURN_IF_ERROR(BuildHeader(in, db, facts));
  VELMAR_RETURN_IF_ERROR(WriteBlobs({records, record_size_, record_count_, fields_}, blobs_, mb));

  const size_t header_size = db.size();
  const BlockPlan& plan = in.plan;
  db.resize(header_size + plan.blocks * plan.block_size, 0);
  for (size_t b = 0; b < plan.blocks; ++b) {
    uint8_t* p = db.data() + header_size + b * plan.block_size;
    const size_t first = b * plan.per_block;
    const size_t count = std::min(plan.per_block, record_count_ - first);
    StoreLe16(p, b + 1 < plan.blocks ? static_cast<uint32_t>(b + 2) : 0);
    StoreLe16(p + 2, static_cast<uint32_t>(b));
    StoreLe16(p + 4, static_cast<uint32_t>((count - 1) * record_size_));
    std::memcpy(p + 6, records.data() + first * record_size_, count * record_size_);
  }
  return Status::Ok();
}

Status ParadoxTable::WriteAs(const fs::path& path, int level) {
  std::vector<uint8_t> db, mb;
  HeaderFacts facts;
  VELMAR_RETURN_IF_ERROR(Build(path, level, db, mb, facts));
  std::vector<std::pair<fs::path, std::vector<uint8_t>>> files;
  files.emplace_back(path, std::move(db));
  const bool has_blobs = !mb.empty();
  fs::path blob_path = path == Path() && !blob_path_.empty() ? blob_path_ : ParadoxBlobPath(path);
  if (has_blobs) files.emplace_back(blob_path, std::move(mb));
  VELMAR_RETURN_IF_ERROR(WriteFilesAtomically(files));
  RemoveStaleIndexes(path);
  if (level == 3 && code_page_ != 437) {
    // The records were written transcoded; keep memory in step with the file.
    std::unique_ptr<Table> reopened;
    VELMAR_RETURN_IF_ERROR(OpenParadoxTable(path, reopened));
    auto* p = static_cast<ParadoxTable*>(reopened.get());
    records_ = std::move(p->records_);
    blobs_ = std::move(p->blobs_);
    code_page_ = 437;
  }
  facts_ = facts;
  level_ = level;
  if (has_blobs) blob_path_ = blob_path;
  blob_file_missing_ = false;
  SetPath(path);
  SetModified(false);
  return Status::Ok();
}

}  // namespace

size_t ParadoxHeldBytes(const Table& table) {
  auto* p = dynamic_cast<const ParadoxTable*>(&table);
  return p ? p->HeldBytes() : 0;
}

Status OpenParadoxTable(const fs::path& path, std::unique_ptr<Table>& out) {
  // A save killed between the renames of the table and its blob file is
  // finished first, so the two always match.
  VELMAR_RETURN_IF_ERROR(CompleteInterruptedSave(path));
  std::vector<uint8_t> file;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(path, file, uint64_t{1} << 31));
  Header header;
  VELMAR_RETURN_IF_ERROR(ParseHeader(file, header));
  auto table =
      std::make_unique<ParadoxTable>(path, header.level, header.code_page,
                                     std::move(header.columns), header.fields, header.record_size);
  VELMAR_RETURN_IF_ERROR(table->Load(file, header.facts));
  file.clear();
  file.shrink_to_fit();
  const bool has_blobs = std::any_of(header.fields.begin(), header.fields.end(),
                                     [](const Field& f) { return IsBlobType(f.code); });
  if (has_blobs) {
    const fs::path blob_path = FindBlobFile(path);
    if (blob_path.empty()) {
      VELMAR_RETURN_IF_ERROR(table->LoadBlobs(nullptr));
    } else {
      std::vector<uint8_t> mb;
      VELMAR_RETURN_IF_ERROR(ReadFileBytes(blob_path, mb, uint64_t{1} << 31));
      VELMAR_RETURN_IF_ERROR(table->LoadBlobs(&mb));
      table->SetBlobPath(blob_path);
    }
  }
  out = std::move(table);
  return Status::Ok();
}

Status CreateParadoxTable(const fs::path& path, const TableFormat& format,
                          const std::vector<ColumnDef>& columns, int code_page,
                          std::unique_ptr<Table>& out) {
  const int level = format.level;
  if (format.family != TableFamily::kParadox ||
      (level != 3 && level != 4 && level != 5 && level != 7)) {
    return Status::Invalid("Неверный формат таблицы Paradox");
  }
  if (level == 3) code_page = 437;
  if (!IsKnownCodePage(code_page) || code_page == kCodePageUtf8) {
    return Status::Unsupported("Кодовая страница " + std::to_string(code_page) +
                               " не подходит для таблицы Paradox");
  }
  std::vector<Field> fields;
  std::vector<ColumnDef> defs;
  int record_size = 0;
  VELMAR_RETURN_IF_ERROR(MakeFields(columns, level, fields, defs, record_size));
  for (const ColumnDef& d : defs) {
    if (!CanEncode(d.name, code_page)) {
      return Status::Invalid("Имя поля «" + d.name + "» нельзя записать в кодовой странице " +
                             std::to_string(code_page));
    }
  }
  auto table = std::make_unique<ParadoxTable>(path, level, code_page, std::move(defs),
                                              std::move(fields), record_size);
  HeaderFacts facts;
  facts.version_byte = VersionOfLevel(level);
  facts.code_page_word = level == 3 ? -1 : code_page;
  facts.header_size = kWriteHeaderUnit;
  facts.block_size = 2048;
  table->SetFacts(facts);
  out = std::move(table);
  return Status::Ok();
}

}  // namespace velmar

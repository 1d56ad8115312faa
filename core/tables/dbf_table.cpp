#include "core/tables/dbf_table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/base/byte_order.h"
#include "core/base/file_util.h"
#include "core/base/random.h"
#include "core/tables/dbf_code_page.h"
#include "core/tables/dbf_format.h"
#include "core/tables/dbf_memo.h"
#include "core/tables/dbf_values.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_files.h"
#include "core/tables/value_text.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using dbf::Codec;
using dbf::Field;
using dbf::MemoStyle;

class DbfTable final : public Table {
 public:
  // Reads the table at `path` and its memo file.
  Status Load(const fs::path& path);
  // Sets up an empty table from header bytes made by dbf::CreateHeader.
  Status InitEmpty(const fs::path& path, std::vector<uint8_t> header, const TableFormat& format);

  int ColumnCount() const override { return static_cast<int>(head_.fields.size()); }
  const ColumnDef& Column(int index) const override { return head_.fields[index].def; }
  int RecordCount() const override { return record_count_; }
  int RecordNumberAt(int row) const override {
    if (row < 0 || row >= record_count_) return row + 1;
    return static_cast<int>(RecordId(row));
  }

  bool IsNullAt(int row, int column) const override;
  float AsFloatAt(int row, int column) const override;
  Value ValueAt(int row, int column) const override;
  Status SetValueAt(int row, int column, const Value& value) override;

  TableFormat Format() const override { return head_.format; }
  int CodePage() const override { return head_.code_page; }
  Status Save() override;
  Status SaveAs(const fs::path& path, const TableFormat& format) override;

  std::vector<std::pair<std::string, std::string>> DumpFacts() const override;
  std::vector<std::pair<std::string, std::string>> ColumnDumpFacts(int column) const override;
  std::string DumpKind(int column) const override;
  std::string ValueJsonAt(int row, int column) const override;

 protected:
  Status AppendRecord() override;
  Status InsertRecord() override;
  Status DeleteRecord() override;

 private:
  Status CheckMemoReferences() const;
  const uint8_t* RecordAt(int row) const {
    return data_.data() + static_cast<size_t>(row) * head_.record_size;
  }
  uint8_t* MutableRecordAt(int row) {
    return data_.data() + static_cast<size_t>(row) * head_.record_size;
  }
  bool InRange(int row, int column) const {
    return row >= 0 && row < record_count_ && column >= 0 && column < ColumnCount();
  }
  uint32_t RecordId(int position) const {
    return ids_.empty() ? static_cast<uint32_t>(position + 1) : ids_[position];
  }
  void MaterializeIds();
  // The memo of a field of a record; nullopt for null.
  std::optional<std::string_view> MemoBytes(const uint8_t* rec, uint32_t id, int column) const;
  std::vector<uint8_t> BlankRecord();
  Status InsertAt(int position);
  void ClearValue(uint8_t* rec, const Field& f);
  void StoreBytes(uint8_t* rec, const Field& f, const std::string& bytes);
  Status WriteMemos(std::vector<uint8_t>& records, std::vector<uint8_t>& memo) const;
  std::vector<uint8_t> HeaderToWrite() const;
  Status ConvertInto(const fs::path& path, const TableFormat& format);

  dbf::Header head_;
  std::vector<uint8_t> data_;
  int record_count_ = 0;
  std::vector<uint32_t> ids_;  // record numbers when they are not 1..n
  uint32_t next_id_ = 1;
  uint32_t file_slots_ = 0;  // records the file held, deleted ones included

  dbf::MemoFile memo_;
  std::map<std::pair<uint32_t, int>, std::optional<std::string>> memo_edits_;
};

// --- Reading ---

Status DbfTable::Load(const fs::path& path) {
  std::vector<uint8_t> file;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(path, file, dbf::kMaxTableBytes));
  if (file.size() < 32) return Status::Corrupt("файл слишком короткий для таблицы dBase");
  VELMAR_RETURN_IF_ERROR(dbf::ParseHeader(file.data(), file.size(), head_));
  SetPath(path);

  const size_t rs = static_cast<size_t>(head_.record_size);
  const uint32_t slots = head_.record_count;
  size_t live = 0;
  const uint8_t* records = file.data() + head_.size;
  for (uint32_t i = 0; i < slots; ++i) {
    if (records[i * rs] != '*') ++live;
  }
  data_.reserve(live * rs);
  if (live != slots) ids_.reserve(live);
  for (uint32_t i = 0; i < slots; ++i) {
    const uint8_t* rec = records + i * rs;
    if (rec[0] == '*') continue;
    data_.insert(data_.end(), rec, rec + rs);
    if (live != slots) ids_.push_back(i + 1);
  }
  record_count_ = static_cast<int>(live);
  file_slots_ = slots;
  next_id_ = file_slots_ + 1;
  file.clear();
  file.shrink_to_fit();

  if (head_.has_memo_fields) {
    VELMAR_RETURN_IF_ERROR(dbf::LoadMemoFile(path, head_.version, head_.vfp, memo_));
    VELMAR_RETURN_IF_ERROR(CheckMemoReferences());
  }
  First();
  return Status::Ok();
}

// Memos of a sound file do not overlap, so together they fit in the memo
// file. Records that all point at one large memo would multiply it in every
// listing of the table; such a file is refused. The walk stops as soon as the
// sum passes the file size, so it costs at most twice the file.
Status DbfTable::CheckMemoReferences() const {
  if (memo_.bytes.empty()) return Status::Ok();
  uint64_t referenced = 0;
  for (int r = 0; r < record_count_; ++r) {
    const uint8_t* rec = RecordAt(r);
    for (const Field& f : head_.fields) {
      if (f.codec != Codec::kMemo || head_.Bit(rec, f.null_bit)) continue;
      const auto bytes = memo_.Stored(dbf::MemoReference(rec + f.offset, f.def.length));
      if (!bytes) continue;
      referenced += bytes->size();
      if (referenced > memo_.bytes.size()) {
        return Status::Corrupt("файл примечаний " + memo_.path.filename().string() +
                               " повреждён: записи ссылаются на одни и те же блоки");
      }
    }
  }
  return Status::Ok();
}

Status DbfTable::InitEmpty(const fs::path& path, std::vector<uint8_t> header,
                           const TableFormat& format) {
  VELMAR_RETURN_IF_ERROR(dbf::ParseHeader(header.data(), header.size(), head_));
  head_.format = format;
  SetPath(path);
  if (head_.has_memo_fields) {
    memo_.style = head_.version == 0xf5 ? MemoStyle::kFoxPro : MemoStyle::kDbase3;
    memo_.block_size = memo_.style == MemoStyle::kFoxPro ? 64 : 512;
  }
  return Status::Ok();
}

std::optional<std::string_view> DbfTable::MemoBytes(const uint8_t* rec, uint32_t id,
                                                    int column) const {
  const Field& f = head_.fields[column];
  if (head_.Bit(rec, f.null_bit)) return std::nullopt;
  if (!memo_edits_.empty()) {
    auto it = memo_edits_.find({id, column});
    if (it != memo_edits_.end()) {
      if (!it->second) return std::nullopt;
      return std::string_view(*it->second);
    }
  }
  return memo_.Stored(dbf::MemoReference(rec + f.offset, f.def.length));
}

bool DbfTable::IsNullAt(int row, int column) const {
  if (!InRange(row, column)) return true;
  const Field& f = head_.fields[column];
  const uint8_t* rec = RecordAt(row);
  if (head_.Bit(rec, f.null_bit)) return true;
  if (f.codec == Codec::kMemo) return !MemoBytes(rec, RecordId(row), column).has_value();
  return dbf::StoredNull(f, rec + f.offset);
}

float DbfTable::AsFloatAt(int row, int column) const {
  if (!InRange(row, column)) return 0;
  const Field& f = head_.fields[column];
  const uint8_t* rec = RecordAt(row);
  if (head_.Bit(rec, f.null_bit)) return 0;
  return dbf::StoredFloat(f, rec + f.offset);
}

Value DbfTable::ValueAt(int row, int column) const {
  if (IsNullAt(row, column)) return Value{};
  const Field& f = head_.fields[column];
  const uint8_t* rec = RecordAt(row);
  if (f.codec == Codec::kMemo) {
    auto bytes = MemoBytes(rec, RecordId(row), column);
    if (!bytes) return Value{};
    if (f.binary) return Bytes(bytes->begin(), bytes->end());
    return DecodeDbfText(*bytes, head_.code_page);
  }
  return dbf::StoredValue(f, rec + f.offset, head_.code_page, head_.Bit(rec, f.length_bit));
}

std::string DbfTable::ValueJsonAt(int row, int column) const {
  if (IsNullAt(row, column)) return "null";
  const Field& f = head_.fields[column];
  if (f.codec == Codec::kMemo) {
    if (!f.binary) return {};
    auto bytes = MemoBytes(RecordAt(row), RecordId(row), column);
    return "{\"kind\":\"memo\",\"length\":" + std::to_string(bytes ? bytes->size() : 0) + "}";
  }
  return dbf::StoredJson(f, RecordAt(row) + f.offset);
}

std::string DbfTable::DumpKind(int column) const {
  const Field& f = head_.fields[column];
  return f.dump_kind.empty() ? std::string(KindName(f.def.kind)) : f.dump_kind;
}

std::vector<std::pair<std::string, std::string>> DbfTable::ColumnDumpFacts(int column) const {
  if (!head_.vfp || head_.fields[column].def.flags == 0) return {};
  return {{"vfp_flags", std::to_string(head_.fields[column].def.flags)}};
}

// The files beside a table that belong to it.
bool IsCompanionExtension(const std::string& ext) {
  static const std::set<std::string> kCompanionExts = {".dbt", ".fpt", ".cdx", ".mdx", ".idx",
                                                       ".ndx", ".ntx", ".dct", ".dcx"};
  return kCompanionExts.count(ext) > 0;
}

std::string JsonList(const std::vector<uint32_t>& v) {
  std::string s = "[";
  for (size_t i = 0; i < v.size(); ++i) {
    if (i) s += ',';
    s += std::to_string(v[i]);
  }
  return s + "]";
}

std::vector<std::pair<std::string, std::string>> DbfTable::DumpFacts() const {
  std::vector<std::pair<std::string, std::string>> facts;
  facts.emplace_back("companions", CompanionListJson(Path(), IsCompanionExtension));
  facts.emplace_back("format", "\"dbf\"");
  facts.emplace_back("version_byte", std::to_string(head_.version));
  facts.emplace_back("version_hex", JsonQuote(dbf::Hex2(head_.version)));
  facts.emplace_back("version", JsonQuote(dbf::VersionName(head_.version)));
  facts.emplace_back("family", head_.FoxPro() ? "\"foxpro\"" : "\"dbase\"");
  facts.emplace_back("code_page_marker", std::to_string(head_.marker));
  facts.emplace_back("code_page_marker_hex", JsonQuote(dbf::Hex2(head_.marker)));
  facts.emplace_back("text_codec", JsonQuote(CodecName(head_.code_page)));
  facts.emplace_back("header_size", std::to_string(head_.size));
  facts.emplace_back("record_size", std::to_string(head_.record_size));
  facts.emplace_back("header_record_count", std::to_string(head_.record_count));
  facts.emplace_back("memo_file_missing", memo_.missing ? "true" : "false");

  std::vector<uint32_t> live;
  for (int i = 0; i < record_count_; ++i) {
    if (RecordId(i) <= file_slots_) live.push_back(RecordId(i));
  }
  std::sort(live.begin(), live.end());
  std::vector<uint32_t> deleted;
  size_t k = 0;
  for (uint32_t n = 1; n <= file_slots_; ++n) {
    if (k < live.size() && live[k] == n)
      ++k;
    else
      deleted.push_back(n);
  }
  facts.emplace_back("deleted_record_count", std::to_string(deleted.size()));
  facts.emplace_back("deleted_records",
                     "\"listed records are the live ones, in file order; records flagged '*' "
                     "are left out\"");
  if (!deleted.empty()) {
    std::vector<uint32_t> numbers;
    for (int i = 0; i < record_count_; ++i) numbers.push_back(RecordId(i));
    facts.emplace_back("deleted_record_numbers", JsonList(deleted));
    facts.emplace_back("record_numbers", JsonList(numbers));
  }
  return facts;
}

// --- Editing ---

void DbfTable::MaterializeIds() {
  if (!ids_.empty() || record_count_ == 0) return;
  ids_.resize(static_cast<size_t>(record_count_));
  for (int i = 0; i < record_count_; ++i) ids_[i] = static_cast<uint32_t>(i + 1);
}

std::vector<uint8_t> DbfTable::BlankRecord() {
  std::vector<uint8_t> rec(static_cast<size_t>(head_.record_size), ' ');
  for (const auto& f : head_.fields) {
    uint8_t* p = rec.data() + f.offset;
    switch (f.codec) {
      case Codec::kMemo:
        if (f.def.length == 4) std::memset(p, 0, 4);
        break;
      case Codec::kChar:
      case Codec::kNumber:
      case Codec::kLogical:
      case Codec::kDate:
      case Codec::kVarChar:
        break;
      default:
        std::memset(p, 0, static_cast<size_t>(f.def.length));
        break;
    }
  }
  for (auto& f : head_.fields) {
    head_.SetBit(rec.data(), f.null_bit, true);
    if (f.length_bit >= 0) {
      head_.SetBit(rec.data(), f.length_bit, true);
      rec[static_cast<size_t>(f.offset + f.def.length - 1)] = 0;
    }
    // Visual FoxPro autoincrement: take the next value from the descriptor.
    if (head_.vfp && (f.def.flags & 0x08) && f.codec == Codec::kInt32 &&
        static_cast<size_t>(f.descriptor) + 24 <= head_.bytes.size()) {
      uint8_t* d = head_.bytes.data() + f.descriptor;
      const uint32_t next = LoadLe32(d + 19);
      StoreLe32(rec.data() + f.offset, next);
      StoreLe32(d + 19, next + (d[23] ? d[23] : 1));
      head_.SetBit(rec.data(), f.null_bit, false);
    }
  }
  return rec;
}

Status DbfTable::InsertAt(int position) {
  if (record_count_ >= std::numeric_limits<int>::max() - 1 ||
      next_id_ == std::numeric_limits<uint32_t>::max()) {
    return Status::Invalid("в таблице слишком много записей");
  }
  std::vector<uint8_t> blank = BlankRecord();
  MaterializeIds();
  data_.insert(data_.begin() + static_cast<std::ptrdiff_t>(position) * head_.record_size,
               blank.begin(), blank.end());
  ids_.insert(ids_.begin() + position, next_id_++);
  ++record_count_;
  MoveTo(position);
  SetModified(true);
  return Status::Ok();
}

Status DbfTable::AppendRecord() { return InsertAt(record_count_); }
Status DbfTable::InsertRecord() { return InsertAt(Eof() ? record_count_ : Position()); }

Status DbfTable::DeleteRecord() {
  if (Eof()) return Status::Invalid("нет текущей записи");
  MaterializeIds();
  const int pos = Position();
  const uint32_t id = ids_[pos];
  const auto begin = data_.begin() + static_cast<std::ptrdiff_t>(pos) * head_.record_size;
  data_.erase(begin, begin + head_.record_size);
  ids_.erase(ids_.begin() + pos);
  for (auto it = memo_edits_.lower_bound({id, 0});
       it != memo_edits_.end() && it->first.first == id;) {
    it = memo_edits_.erase(it);
  }
  --record_count_;
  // The next record becomes current, or the new last one.
  MoveTo(pos < record_count_ ? pos : record_count_ - 1);
  SetModified(true);
  return Status::Ok();
}

// Null without a _NullFlags bit: blanks for the text-stored types, zeros
// for the binary ones; a memo is cleared through the memo edits.
void DbfTable::ClearValue(uint8_t* rec, const Field& f) {
  uint8_t* p = rec + f.offset;
  const size_t len = static_cast<size_t>(f.def.length);
  switch (f.codec) {
    case Codec::kMemo:
      break;
    case Codec::kChar:
    case Codec::kNumber:
    case Codec::kLogical:
    case Codec::kDate:
      std::memset(p, ' ', len);
      break;
    case Codec::kVarChar:
      std::memset(p, ' ', len);
      if (f.length_bit >= 0) {
        head_.SetBit(rec, f.length_bit, true);
        p[len - 1] = 0;
      }
      break;
    default:
      std::memset(p, 0, len);
      break;
  }
}

// Puts encoded bytes into a field that is not a memo.
void DbfTable::StoreBytes(uint8_t* rec, const Field& f, const std::string& bytes) {
  uint8_t* p = rec + f.offset;
  const size_t len = static_cast<size_t>(f.def.length);
  switch (f.codec) {
    case Codec::kChar:
      std::memset(p, ' ', len);
      std::memcpy(p, bytes.data(), bytes.size());
      break;
    case Codec::kVarChar:
    case Codec::kVarBinary: {
      std::memset(p, f.codec == Codec::kVarChar ? ' ' : 0, len);
      std::memcpy(p, bytes.data(), bytes.size());
      if (f.length_bit >= 0) {
        const bool short_value = bytes.size() < len;
        head_.SetBit(rec, f.length_bit, short_value);
        if (short_value) p[len - 1] = static_cast<uint8_t>(bytes.size());
      }
      break;
    }
    default:
      std::memcpy(p, bytes.data(), std::min(bytes.size(), len));
      break;
  }
}

Status DbfTable::SetValueAt(int row, int column, const Value& value) {
  if (column < 0 || column >= ColumnCount()) return Status::Invalid("нет такого поля");
  if (row < 0 || row >= record_count_) return Status::Invalid("нет текущей записи");
  const Field& f = head_.fields[column];
  uint8_t* rec = MutableRecordAt(row);
  const uint32_t id = RecordId(row);

  if (IsNullValue(value)) {
    if (f.codec == Codec::kNullFlags || f.codec == Codec::kRaw) {
      return Status::Invalid("Поле " + f.def.name + ": поле этого типа не редактируется");
    }
    if (f.null_bit >= 0) {
      head_.SetBit(rec, f.null_bit, true);
    } else {
      ClearValue(rec, f);
    }
    if (f.codec == Codec::kMemo) memo_edits_[{id, column}] = std::nullopt;
    SetModified(true);
    return Status::Ok();
  }

  std::string bytes;
  VELMAR_RETURN_IF_ERROR(dbf::EncodeValue(f, value, head_.code_page, memo_.style, bytes));
  if (f.codec == Codec::kMemo) {
    memo_edits_[{id, column}] = std::move(bytes);
  } else {
    StoreBytes(rec, f, bytes);
  }
  head_.SetBit(rec, f.null_bit, false);
  SetModified(true);
  return Status::Ok();
}

// --- Writing ---

// Writes every memo afresh into `memo` and points the fields of `records`
// (a copy of the records) at them.
Status DbfTable::WriteMemos(std::vector<uint8_t>& records, std::vector<uint8_t>& memo) const {
  dbf::MemoWriter writer(memo_.style, memo_.block_size);
  for (int r = 0; r < record_count_ && head_.has_memo_fields; ++r) {
    uint8_t* rec = records.data() + static_cast<size_t>(r) * head_.record_size;
    for (int c = 0; c < ColumnCount(); ++c) {
      const Field& f = head_.fields[c];
      if (f.codec != Codec::kMemo) continue;
      auto content = MemoBytes(RecordAt(r), RecordId(r), c);
      uint32_t block = 0;
      if (content) VELMAR_RETURN_IF_ERROR(writer.Add(*content, f.memo_type, block));
      dbf::StoreMemoReference(rec + f.offset, f.def.length, block);
      if (f.null_bit >= 0 && !content) head_.SetBit(rec, f.null_bit, true);
    }
  }
  memo = writer.Finish();
  return Status::Ok();
}

// The header as written: today's date, the record count, and no index.
std::vector<uint8_t> DbfTable::HeaderToWrite() const {
  std::vector<uint8_t> dbf = head_.bytes;
  const int64_t now = CurrentClock().NowSeconds();
  const Date today = dbf::DateFromJulian(now / 86400 + 2440588);
  dbf[1] = static_cast<uint8_t>(std::clamp(today.year - 1900, 0, 255));
  dbf[2] = static_cast<uint8_t>(today.month);
  dbf[3] = static_cast<uint8_t>(today.day);
  StoreLe32(dbf.data() + 4, static_cast<uint32_t>(record_count_));
  // The index files are not rewritten, so the table must stop pointing at them.
  dbf[28] = static_cast<uint8_t>(dbf[28] & ~0x01);
  if (!head_.vfp && !head_.db7) {
    for (const auto& f : head_.fields) dbf[static_cast<size_t>(f.descriptor) + 31] = 0;
  }
  return dbf;
}

Status DbfTable::Save() {
  const fs::path memo_path = memo_.PathFor(Path());
  std::vector<uint8_t> new_data = data_;
  for (int r = 0; r < record_count_; ++r) {
    new_data[static_cast<size_t>(r) * head_.record_size] = ' ';
  }
  std::vector<uint8_t> memo;
  VELMAR_RETURN_IF_ERROR(WriteMemos(new_data, memo));
  std::vector<uint8_t> dbf = HeaderToWrite();
  dbf.insert(dbf.end(), new_data.begin(), new_data.end());
  dbf.push_back(0x1A);

  std::vector<std::pair<fs::path, std::vector<uint8_t>>> files;
  files.emplace_back(Path(), std::move(dbf));
  const bool with_memo = memo_.style != MemoStyle::kNone;
  if (with_memo) files.emplace_back(memo_path, memo);
  VELMAR_RETURN_IF_ERROR(WriteFilesAtomically(files));

  data_ = std::move(new_data);
  head_.bytes.assign(files[0].second.begin(), files[0].second.begin() + head_.size);
  head_.record_count = static_cast<uint32_t>(record_count_);
  file_slots_ = head_.record_count;
  ids_.clear();
  ids_.shrink_to_fit();
  next_id_ = file_slots_ + 1;
  memo_edits_.clear();
  if (with_memo) {
    memo_.bytes = std::move(memo);
    memo_.path = memo_path;
    memo_.table_path = Path();
    memo_.missing = false;
  }
  SetModified(false);
  return Status::Ok();
}

Status DbfTable::ConvertInto(const fs::path& path, const TableFormat& format) {
  // The shared conversion picks each column's type from what it holds (a
  // double keeps its digits, a datetime becomes text); it leaves the cursor
  // where it was.
  const Mark mark = MarkPosition();
  std::unique_ptr<Table> created;
  VELMAR_RETURN_IF_ERROR(ConvertTable(*this, path, format, created));
  // CreateTable makes DBF tables of this class for the DBF formats. The
  // table becomes the converted one; views keep their listener.
  auto& moved = static_cast<DbfTable&>(*created);
  head_ = std::move(moved.head_);
  data_ = std::move(moved.data_);
  record_count_ = moved.record_count_;
  ids_ = std::move(moved.ids_);
  next_id_ = moved.next_id_;
  file_slots_ = moved.file_slots_;
  memo_ = std::move(moved.memo_);
  memo_edits_.clear();
  SetPath(path);
  MoveTo(std::min(mark, record_count_));
  SetModified(false);
  return Status::Ok();
}

Status DbfTable::SaveAs(const fs::path& path, const TableFormat& format) {
  if (format.family == TableFamily::kParadox) {
    // A Paradox copy is written beside; this table stays a DBF table and
    // the caller opens the copy.
    std::unique_ptr<Table> converted;
    return ConvertTable(*this, path, format, converted);
  }
  if (format == head_.format) {
    const fs::path old = Path();
    SetPath(path);
    Status s = Save();
    if (!s.ok()) SetPath(old);
    return s;
  }
  return ConvertInto(path, format);
}

}  // namespace

Status OpenDbfTable(const std::filesystem::path& path, std::unique_ptr<Table>& out) {
  // A save killed between the renames of the table and its memo file is
  // finished first, so the two always match.
  VELMAR_RETURN_IF_ERROR(CompleteInterruptedSave(path));
  auto table = std::make_unique<DbfTable>();
  VELMAR_RETURN_IF_ERROR(table->Load(path));
  out = std::move(table);
  return Status::Ok();
}

Status CreateDbfTable(const std::filesystem::path& path, const TableFormat& format,
                      const std::vector<ColumnDef>& columns, int code_page,
                      std::unique_ptr<Table>& out) {
  std::vector<uint8_t> header;
  int used_code_page = 0;
  VELMAR_RETURN_IF_ERROR(dbf::CreateHeader(format, columns, code_page, header, used_code_page));
  auto table = std::make_unique<DbfTable>();
  VELMAR_RETURN_IF_ERROR(table->InitEmpty(path, std::move(header), format));
  out = std::move(table);
  return Status::Ok();
}

}  // namespace velmar

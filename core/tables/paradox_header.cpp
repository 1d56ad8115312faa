#include "core/tables/paradox_header.h"

#include <algorithm>
#include <cstring>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/tables/paradox_format.h"

namespace velmar::paradox {
namespace {

size_t CodePointCount(std::string_view utf8) {
  size_t n = 0, pos = 0;
  while (pos < utf8.size()) {
    NextCodePoint(utf8, pos);
    ++n;
  }
  return n;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

Status Corrupt() { return Status::Corrupt("Заголовок таблицы Paradox повреждён"); }

// The fixed part: counts, version, block size; refuses encrypted files.
Status ReadCounts(const std::vector<uint8_t>& file, Header& out, int& field_count) {
  const uint8_t* h = file.data();
  HeaderFacts& facts = out.facts;
  out.record_size = LoadLe16(h);
  facts.header_size = LoadLe16(h + 0x02);
  facts.file_type = h[0x04];
  const int kb = h[0x05];
  facts.header_record_count = static_cast<int32_t>(LoadLe32(h + 0x06));
  field_count = LoadLe16(h + 0x21);
  facts.primary_key_fields = LoadLe16(h + 0x23);
  const uint32_t encryption = LoadLe32(h + 0x25);
  facts.sort_order = h[0x29];
  facts.version_byte = h[0x39];
  const int version = facts.version_byte;
  if (version < 3 || version > 12) {
    return Status::Unsupported("Неизвестная версия файла Paradox (" + std::to_string(version) +
                               ")");
  }
  if (facts.file_type != 0 && facts.file_type != 2) {
    return Status::Unsupported("Файл не является таблицей данных Paradox");
  }
  bool encrypted = version <= 4
                       ? encryption != 0
                       : (encryption == 0xFF00FF00u ? file.size() >= 0x60 && LoadLe32(h + 0x5C) != 0
                                                    : encryption != 0);
  if (encrypted) {
    return Status::Unsupported(
        "Таблица Paradox зашифрована (защищена паролем); зашифрованные таблицы не "
        "поддерживаются");
  }
  if (kb != 1 && kb != 2 && kb != 3 && kb != 4 && kb != 8 && kb != 16 && kb != 32) {
    return Corrupt();
  }
  facts.block_size = kb * 1024;
  out.level = LevelOfVersion(version);
  return Status::Ok();
}

// The type list: each field's type code and stated size.
Status ReadFieldTypes(const uint8_t* h, size_t base, int field_count, Header& out) {
  int offset = 0;
  for (int i = 0; i < field_count; ++i) {
    const uint8_t code = h[base + 2 * i];
    const int stated = h[base + 2 * i + 1];
    const char letter = TypeLetter(code);
    if (letter == 0) {
      return Status::Unsupported("Неизвестный тип поля в таблице Paradox (" + std::to_string(code) +
                                 ")");
    }
    int size = FixedSize(code);
    ColumnDef def;
    def.kind = KindOfType(code);
    def.native_type = letter;
    if (code == kBcd) {
      if (stated > 32) return Corrupt();
      def.decimals = stated;
    } else if (size == 0) {
      size = stated;
      if (size < (IsBlobType(code) ? kBlobDescriptorSize : 1)) return Corrupt();
    } else if (stated != size) {
      return Corrupt();
    }
    def.length = size;
    out.fields.push_back(Field{code, offset, size});
    out.columns.push_back(def);
    offset += size;
  }
  if (offset != out.record_size) return Corrupt();
  return Status::Ok();
}

// The field names and the sort order; then the code page, which 3.x files
// do not store and which word 0 with the HP sort order gives as Roman-8.
Status ReadNames(const uint8_t* h, size_t base, int field_count, Header& out) {
  const int version = out.facts.version_byte;
  const size_t header = out.facts.header_size;
  size_t pos = base + 2 * field_count + 4 + 4 * static_cast<size_t>(field_count);
  pos += version >= 12 ? 261 : 79;
  std::vector<std::string> raw_names;
  for (int i = 0; i < field_count; ++i) {
    if (pos >= header) return Corrupt();
    const void* nul = std::memchr(h + pos, 0, header - pos);
    if (!nul) return Corrupt();
    const size_t len = static_cast<const uint8_t*>(nul) - (h + pos);
    raw_names.emplace_back(reinterpret_cast<const char*>(h + pos), len);
    pos += len + 1;
  }
  if (version >= 5) {
    pos += 2 * static_cast<size_t>(field_count);
    if (pos < header) {
      const void* nul = std::memchr(h + pos, 0, header - pos);
      if (nul) {
        out.facts.sort_order_id.assign(reinterpret_cast<const char*>(h + pos),
                                       static_cast<const uint8_t*>(nul) - (h + pos));
      }
    }
  }
  out.code_page = 437;
  if (version >= 5) {
    out.facts.code_page_word = LoadLe16(h + 0x6A);
    if (out.facts.code_page_word != 0) {
      out.code_page = out.facts.code_page_word;
    } else if (out.facts.sort_order_id == "BLROM800") {
      out.code_page = kCodePageRoman8;
    }
  }
  for (int i = 0; i < field_count; ++i) {
    out.columns[i].name = DecodeToUtf8(raw_names[i], out.code_page);
  }
  return Status::Ok();
}

// The header after its fixed part: field types, table name, field names,
// and from level 4 the field numbers and the sort order name.
std::vector<uint8_t> HeaderTail(const HeaderInput& in, HeaderFacts& facts) {
  const std::vector<ColumnDef>& columns = *in.columns;
  const std::vector<Field>& fields = *in.fields;
  const int version = VersionOfLevel(in.level);
  const int n = static_cast<int>(fields.size());
  std::vector<uint8_t> tail;
  auto put = [&tail](const void* data, size_t len) {
    const auto* b = static_cast<const uint8_t*>(data);
    tail.insert(tail.end(), b, b + len);
  };
  for (size_t c = 0; c < fields.size(); ++c) {
    const Field& f = fields[c];
    uint8_t info[2] = {f.code, static_cast<uint8_t>(f.code == kBcd ? 0 : f.size)};
    if (f.code == kBcd) info[1] = static_cast<uint8_t>(columns[c].decimals);
    put(info, 2);
  }
  tail.resize(tail.size() + 4 + 4 * n, 0);  // name pointers, unused on disk
  std::string table_name = EncodeFromUtf8(in.path.filename().string(), in.code_page);
  const size_t name_room = version >= 12 ? 261 : 79;
  table_name.resize(std::min(table_name.size(), name_room - 1));
  table_name.resize(name_room, '\0');
  put(table_name.data(), table_name.size());
  for (const ColumnDef& c : columns) {
    std::string name = EncodeFromUtf8(c.name, in.code_page);
    put(name.c_str(), name.size() + 1);
  }
  const bool roman8 = in.code_page == kCodePageRoman8;
  facts.sort_order = roman8 ? 0x14 : 0;
  facts.sort_order_id = in.level == 3 ? "" : (roman8 ? "BLROM800" : "ascii");
  if (in.level > 3) {
    for (int i = 1; i <= n; ++i) {
      uint8_t num[2];
      StoreLe16(num, i);
      put(num, 2);
    }
    put(facts.sort_order_id.c_str(), facts.sort_order_id.size() + 1);
  }
  return tail;
}

void FillFixedPart(const HeaderInput& in, size_t header_size, size_t used, uint8_t* h,
                   const HeaderFacts& facts) {
  const int version = VersionOfLevel(in.level);
  const int n = static_cast<int>(in.fields->size());
  const bool roman8 = in.code_page == kCodePageRoman8;
  const auto blocks = static_cast<uint32_t>(in.plan.blocks);
  StoreLe16(h + 0x00, in.record_size);
  StoreLe16(h + 0x02, static_cast<uint32_t>(header_size));
  h[0x04] = 2;  // unkeyed: no primary index is written
  h[0x05] = static_cast<uint8_t>(in.plan.block_kb);
  StoreLe32(h + 0x06, in.record_count);
  StoreLe16(h + 0x0A, blocks);
  StoreLe16(h + 0x0C, blocks);
  StoreLe16(h + 0x0E, blocks ? 1 : 0);
  StoreLe16(h + 0x10, blocks);
  StoreLe16(h + 0x21, n);
  StoreLe32(h + 0x25, in.level > 3 ? 0xFF00FF00u : 0);
  h[0x29] = static_cast<uint8_t>(facts.sort_order);
  h[0x39] = static_cast<uint8_t>(version);
  StoreLe16(h + 0x3A, blocks);
  h[0x3E] = 0x1F;
  h[0x3F] = 0x0F;
  StoreLe32(h + 0x49, static_cast<uint32_t>(in.max_autoinc));
  StoreLe16(h + 0x51, static_cast<uint32_t>(used));
  if (in.level > 3) {
    h[0x56] = 0x20;
    StoreLe16(h + 0x58, 0x100 | version);
    StoreLe16(h + 0x5A, 0x100 | version);
    StoreLe16(h + 0x64, n + 1);
    StoreLe16(h + 0x6A, roman8 ? 0 : static_cast<uint32_t>(in.code_page));
    h[0x6C] = 1;
    h[0x6D] = 1;
  }
}

}  // namespace

Status ParseHeader(const std::vector<uint8_t>& file, Header& out) {
  if (file.size() < 0x58) return Status::Corrupt("Файл слишком короткий для таблицы Paradox");
  int field_count = 0;
  VELMAR_RETURN_IF_ERROR(ReadCounts(file, out, field_count));
  const size_t base = out.facts.version_byte >= 5 ? 0x78 : 0x58;
  const size_t header = out.facts.header_size;
  if (header > file.size() || field_count < 1 || field_count > 255 || out.record_size < 1 ||
      base + 6 * static_cast<size_t>(field_count) + 4 > header ||
      out.record_size + 6 > out.facts.block_size) {
    return Corrupt();
  }
  VELMAR_RETURN_IF_ERROR(ReadFieldTypes(file.data(), base, field_count, out));
  return ReadNames(file.data(), base, field_count, out);
}

Status MakeFields(const std::vector<ColumnDef>& columns, int level, std::vector<Field>& fields,
                  std::vector<ColumnDef>& defs, int& record_size) {
  if (columns.empty() || columns.size() > 255) {
    return Status::Invalid("Таблица Paradox должна иметь от 1 до 255 полей");
  }
  record_size = 0;
  std::vector<std::string> seen;
  for (const ColumnDef& c : columns) {
    const uint8_t code = TypeCodeOf(c.native_type);
    if (code == 0) {
      return Status::Invalid("Тип поля «" + c.name + "» не поддерживается таблицами Paradox");
    }
    if (MinimumLevel(code) > level) {
      return Status::Unsupported("Поле «" + c.name + "» типа " + std::string(1, c.native_type) +
                                 " нельзя записать в таблицу Paradox уровня " +
                                 std::to_string(level));
    }
    if (c.name.empty() || CodePointCount(c.name) > static_cast<size_t>(kMaxNameLength)) {
      return Status::Invalid("Имя поля «" + c.name + "» должно содержать от 1 до 25 символов");
    }
    std::string key = AsciiLower(c.name);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      return Status::Invalid("Имя поля «" + c.name + "» повторяется");
    }
    seen.push_back(key);
    int size = FixedSize(code);
    ColumnDef def;
    def.name = c.name;
    def.kind = KindOfType(code);
    def.native_type = c.native_type;
    if (size == 0) {
      size = c.length;
      const int min = IsBlobType(code) ? (code == kMemo ? 11 : 10) : 1;
      const int max = IsBlobType(code) ? 250 : 255;
      if (size < min || size > max) {
        return Status::Invalid("Неверная длина поля «" + c.name + "»: " + std::to_string(size));
      }
    }
    if (code == kBcd) {
      if (c.decimals < 0 || c.decimals > 32) {
        return Status::Invalid("Неверное число знаков после запятой в поле «" + c.name + "»");
      }
      def.decimals = c.decimals;
    }
    def.length = size;
    fields.push_back(Field{code, record_size, size});
    defs.push_back(def);
    record_size += size;
  }
  if (record_size + 6 > (level >= 5 ? 32768 : 4096)) {
    return Status::Unsupported("Запись таблицы Paradox уровня " + std::to_string(level) +
                               " получается слишком длинной");
  }
  return Status::Ok();
}

Status PlanBlocks(int level, int record_size, int record_count, BlockPlan& plan) {
  const int max_kb = level >= 5 ? 32 : 4;
  plan = BlockPlan{};
  for (int kb : {2, 4, 8, 16, 32}) {
    if (kb > max_kb) break;
    plan.per_block = (kb * 1024 - 6) / record_size;
    if (plan.per_block == 0) continue;
    plan.blocks = (record_count + plan.per_block - 1) / plan.per_block;
    if (plan.blocks <= 65535) {
      plan.block_kb = kb;
      break;
    }
  }
  if (plan.block_kb == 0) {
    return Status::Unsupported("Записи таблицы не помещаются в файл Paradox уровня " +
                               std::to_string(level));
  }
  plan.block_size = static_cast<size_t>(plan.block_kb) * 1024;
  return Status::Ok();
}

Status BuildHeader(const HeaderInput& in, std::vector<uint8_t>& header, HeaderFacts& facts) {
  const std::vector<uint8_t> tail = HeaderTail(in, facts);
  const size_t fixed = in.level > 3 ? 0x78 : 0x58;
  const size_t used = fixed + tail.size();
  const size_t header_size = (used + kWriteHeaderUnit - 1) / kWriteHeaderUnit * kWriteHeaderUnit;
  if (header_size > 0xF800) return Status::Unsupported("Слишком много полей для таблицы Paradox");
  header.assign(header_size, 0);
  FillFixedPart(in, header_size, used, header.data(), facts);
  std::memcpy(header.data() + fixed, tail.data(), tail.size());

  facts.version_byte = VersionOfLevel(in.level);
  facts.file_type = 2;
  facts.code_page_word = in.level == 3 ? -1 : (in.code_page == kCodePageRoman8 ? 0 : in.code_page);
  facts.header_size = static_cast<int>(header_size);
  facts.block_size = static_cast<int>(in.plan.block_size);
  facts.primary_key_fields = 0;
  facts.header_record_count = in.record_count;
  return Status::Ok();
}

int FixedSize(uint8_t code) {
  switch (code) {
    case kDate:
    case kLong:
    case kTime:
    case kAutoInc:
      return 4;
    case kShort:
      return 2;
    case kCurrency:
    case kNumber:
    case kTimestamp:
      return 8;
    case kLogical:
      return 1;
    case kBcd:
      return kBcdSize;
    default:
      return 0;
  }
}

int LevelOfVersion(int version) {
  if (version <= 4) return 3;
  if (version <= 9) return 4;
  if (version <= 11) return 5;
  return 7;
}

int VersionOfLevel(int level) {
  switch (level) {
    case 3:
      return 4;
    case 4:
      return 9;
    case 5:
      return 11;
    default:
      return 12;
  }
}

const char* VersionName(int version) {
  if (version == 3) return "3.0";
  if (version == 4) return "3.5";
  if (version <= 9) return "4.x";
  if (version <= 11) return "5.x";
  return "7.x";
}

std::string TextCodecName(int code_page) {
  if (code_page == kCodePageRoman8) return "hp_roman8";
  if (code_page == 936) return "gbk";
  if (code_page == kCodePageUtf8) return "utf-8";
  return "cp" + std::to_string(code_page);
}

}  // namespace velmar::paradox

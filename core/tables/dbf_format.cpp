#include "core/tables/dbf_format.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/tables/dbf_code_page.h"
#include "core/tables/table_files.h"

namespace velmar::dbf {
namespace {

constexpr int kDescriptorSize = 32;
constexpr int kDb7DescriptorSize = 48;
constexpr int kDb7HeaderSize = 68;

// Sets the format from the version byte; refuses what is not a DBF table.
Status ParseVersion(uint8_t version, Header& h) {
  h.version = version;
  switch (version) {
    case 0x03:
    case 0x83:
    case 0x8b:
    case 0x8e:
    case 0x43:
    case 0x63:
    case 0xcb:
      h.format = {TableFamily::kDbase, 0};
      return Status::Ok();
    case 0x04:
    case 0x8c:
      h.db7 = true;
      h.format = {TableFamily::kDbase, 0};
      return Status::Ok();
    case 0xf5:
    case 0xfb:
      h.format = {TableFamily::kFoxPro, 25};
      return Status::Ok();
    case 0x30:
    case 0x31:
    case 0x32:
      h.vfp = true;
      h.format = {TableFamily::kFoxPro, 25};
      return Status::Ok();
    case 0x02:
      return Status::Unsupported("таблицы dBase II не поддерживаются");
    default:
      return Status::Corrupt("файл не является таблицей dBase или FoxPro (байт версии " +
                             Hex2(version) + ")");
  }
}

void SetCodec(Field& f, Codec codec, FieldKind kind) {
  f.codec = codec;
  f.def.kind = kind;
}

// A fixed-size type whose stored width is not its size is raw bytes.
void SetFixed(Field& f, Codec codec, FieldKind kind, int size) {
  if (f.def.length == size) {
    SetCodec(f, codec, kind);
  } else {
    SetCodec(f, Codec::kRaw, FieldKind::kOther);
  }
}

// Memo references are 10 digits or a 4-byte number; any other width is raw.
void SetMemo(Field& f, FieldKind kind, bool binary) {
  if (f.def.length == 4 || f.def.length == 10) {
    SetCodec(f, Codec::kMemo, kind);
    f.binary = binary;
  } else {
    SetCodec(f, Codec::kRaw, FieldKind::kOther);
  }
}

// The memo-held types; false for the others.
bool ClassifyMemoType(uint8_t type, bool vfp, Field& f) {
  switch (type) {
    case 'M':
      if (vfp && (f.def.flags & 0x04)) {
        SetMemo(f, FieldKind::kBinary, true);
        f.dump_kind = "binary-memo";
      } else {
        SetMemo(f, FieldKind::kMemo, false);
      }
      return true;
    case 'G':
      SetMemo(f, FieldKind::kOle, true);
      f.memo_type = 2;
      f.dump_kind = "general";
      return true;
    case 'P':
      SetMemo(f, FieldKind::kGraphic, true);
      f.memo_type = 0;
      f.dump_kind = "picture";
      return true;
    case 'W':
      SetMemo(f, FieldKind::kBinary, true);
      f.dump_kind = "blob";
      return true;
    case 'B':
      if (vfp) return false;  // a double in Visual FoxPro
      SetMemo(f, FieldKind::kBinary, true);
      f.dump_kind = "binary-memo";
      return true;
    default:
      return false;
  }
}

void ClassifyField(uint8_t type, const Header& h, Field& f) {
  if (ClassifyMemoType(type, h.vfp, f)) return;
  switch (type) {
    case 'C':
      SetCodec(f, Codec::kChar, FieldKind::kText);
      break;
    case 'N':
    case 'F':
      SetCodec(f, Codec::kNumber, FieldKind::kFloat);
      break;
    case 'L':
      SetCodec(f, Codec::kLogical, FieldKind::kBoolean);
      break;
    case 'D':
      SetFixed(f, Codec::kDate, FieldKind::kDate, 8);
      break;
    case 'B':
      SetFixed(f, Codec::kDouble, FieldKind::kFloat, 8);
      break;
    case 'I':
      SetFixed(f, h.db7 ? Codec::kDb7Int : Codec::kInt32, FieldKind::kInteger, 4);
      break;
    case '+':
      SetFixed(f, Codec::kDb7Int, FieldKind::kAutoIncrement, 4);
      break;
    case 'O':
      SetFixed(f, Codec::kDb7Double, FieldKind::kFloat, 8);
      break;
    case '@':
      SetFixed(f, Codec::kDb7Timestamp, FieldKind::kTimestamp, 8);
      break;
    case 'Y':
      SetFixed(f, Codec::kCurrency, FieldKind::kCurrency, 8);
      break;
    case 'T':
      SetFixed(f, Codec::kDateTime, FieldKind::kTimestamp, 8);
      f.dump_kind = "datetime";
      break;
    case 'V':
      SetCodec(f, Codec::kVarChar, FieldKind::kText);
      break;
    case 'Q':
      SetCodec(f, Codec::kVarBinary, FieldKind::kBytes);
      f.dump_kind = "varbinary";
      break;
    case '0':
      SetCodec(f, Codec::kNullFlags, FieldKind::kNullFlags);
      break;
    default:
      SetCodec(f, Codec::kRaw, FieldKind::kOther);
      break;
  }
}

// One field descriptor at `pos` of the header.
Field ReadDescriptor(const uint8_t* file, int pos, const Header& h) {
  const uint8_t* d = file + pos;
  Field f;
  f.descriptor = pos;
  const int name_len = h.db7 ? 32 : 11;
  int n = 0;
  while (n < name_len && d[n] != 0) ++n;
  f.def.name = DecodeDbfText(std::string_view(reinterpret_cast<const char*>(d), n), h.code_page);
  const uint8_t type = h.db7 ? d[32] : d[11];
  f.def.native_type = static_cast<char>(type);
  f.def.length = h.db7 ? d[33] : d[16];
  f.def.decimals = h.db7 ? d[34] : d[17];
  f.def.flags = h.vfp ? d[18] : 0;
  ClassifyField(type, h, f);
  if (f.codec == Codec::kRaw && f.dump_kind.empty()) f.dump_kind = "other";
  if (f.def.length == 0 && f.codec != Codec::kRaw) SetCodec(f, Codec::kRaw, FieldKind::kOther);
  return f;
}

// Gives each field its offset in the record. FoxPro and Clipper keep the
// high byte of long text widths in the decimals; it is used only when the
// plain widths do not fill the record.
Status LayOutFields(Header& h) {
  auto total = [&](bool wide) {
    int64_t sum = 1;
    for (const auto& f : h.fields) {
      sum += f.def.length;
      if (wide && f.codec == Codec::kChar) sum += int64_t{f.def.decimals} * 256;
    }
    return sum;
  };
  if (total(false) != h.record_size && total(true) == h.record_size) {
    for (auto& f : h.fields) {
      if (f.codec == Codec::kChar) {
        f.def.length += f.def.decimals * 256;
        f.def.decimals = 0;
      }
    }
  }
  int offset = 1;
  for (auto& f : h.fields) {
    f.offset = offset;
    offset += f.def.length;
    if (offset > h.record_size) return Status::Corrupt("поля не помещаются в запись таблицы");
  }
  return Status::Ok();
}

// Numbers the _NullFlags bits of the nullable and variable-length fields;
// only Visual FoxPro tables that have the column use them.
void AssignNullBits(Header& h) {
  int bit = 0;
  for (auto& f : h.fields) {
    if (f.codec == Codec::kVarChar || f.codec == Codec::kVarBinary) f.length_bit = bit++;
    if (f.def.flags & 0x02) f.null_bit = bit++;
    if (f.codec == Codec::kNullFlags) {
      h.null_flags_offset = f.offset;
      h.null_flags_bytes = f.def.length;
    }
    if (f.codec == Codec::kMemo) h.has_memo_fields = true;
  }
  if (h.null_flags_offset < 0 || !h.vfp) {
    for (auto& f : h.fields) f.null_bit = f.length_bit = -1;
  } else {
    for (auto& f : h.fields) {
      if (f.null_bit >= h.null_flags_bytes * 8) f.null_bit = -1;
      if (f.length_bit >= h.null_flags_bytes * 8) f.length_bit = -1;
    }
  }
}

struct NewField {
  std::string name;  // encoded
  char type;
  int length;
  int decimals;
};

void SetNewField(NewField& out, char type, int length, int decimals) {
  out.type = type;
  out.length = length;
  out.decimals = decimals;
}

// The type of a new numeric column; false for the other kinds.
bool MapNumberColumn(const ColumnDef& c, bool foxpro, NewField& out) {
  switch (c.kind) {
    case FieldKind::kFloat:
      if ((c.native_type == 'N' || c.native_type == 'F') && c.length >= 1 && c.length <= 20 &&
          c.decimals >= 0 && c.decimals < c.length) {
        SetNewField(out, foxpro && c.native_type == 'F' ? 'F' : 'N', c.length, c.decimals);
      } else {
        SetNewField(out, 'N', 20, 6);
      }
      return true;
    case FieldKind::kSmallInt:
      SetNewField(out, 'N', 6, 0);
      return true;
    case FieldKind::kWord:
      SetNewField(out, 'N', 5, 0);
      return true;
    case FieldKind::kInteger:
    case FieldKind::kAutoIncrement:
      SetNewField(out, 'N', 11, 0);
      return true;
    case FieldKind::kCurrency:
      SetNewField(out, 'N', 20, 4);
      return true;
    case FieldKind::kBcd:
      SetNewField(out, 'N', 20, std::clamp(c.decimals, 0, 18));
      return true;
    default:
      return false;
  }
}

Status MapColumn(const ColumnDef& c, bool foxpro, NewField& out) {
  if (MapNumberColumn(c, foxpro, out)) return Status::Ok();
  const std::string what = "Поле " + c.name + ": ";
  const char* target = foxpro ? "FoxPro" : "dBase";
  switch (c.kind) {
    case FieldKind::kText:
      if (c.length < 1 || c.length > 255) {
        return Status::Invalid(what + "текст длиной " + std::to_string(c.length) +
                               " не помещается в формат " + target + " (не более 255)");
      }
      SetNewField(out, 'C', c.length, 0);
      return Status::Ok();
    case FieldKind::kBoolean:
      SetNewField(out, 'L', 1, 0);
      return Status::Ok();
    case FieldKind::kDate:
      SetNewField(out, 'D', 8, 0);
      return Status::Ok();
    case FieldKind::kMemo:
    case FieldKind::kFormattedMemo:
      SetNewField(out, 'M', 10, 0);
      return Status::Ok();
    case FieldKind::kOle:
    case FieldKind::kBinary:
    case FieldKind::kGraphic:
      if (foxpro) {
        SetNewField(out, c.kind == FieldKind::kGraphic ? 'P' : 'G', 10, 0);
        return Status::Ok();
      }
      return Status::Invalid(what + "двоичные данные не могут храниться в формате dBase");
    case FieldKind::kTime:
      return Status::Invalid(what + "тип «время» не поддерживается форматом " + target);
    case FieldKind::kTimestamp:
      return Status::Invalid(what + "тип «дата и время» не поддерживается форматом " + target);
    default:
      return Status::Invalid(what + "тип «" + std::string(KindName(c.kind)) +
                             "» не поддерживается форматом " + target);
  }
}

// Names hold at most 10 bytes; longer or repeated ones are cut and numbered.
// A name may not start with a carriage return: readers take that byte at the
// start of a field descriptor for the end of the field list and would lose
// this column and every one after it.
std::string FieldName(const ColumnDef& column, size_t index, int code_page,
                      std::set<std::string>& used_names) {
  std::string name = EncodeDbfText(column.name, code_page);
  name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
  while (!name.empty() && name.front() == '\r') name.erase(name.begin());
  if (name.empty()) name = "FIELD" + std::to_string(index + 1);
  if (name.size() > 10) name.resize(10);
  std::string base = name;
  for (int n = 1; used_names.count(AsciiLower(name)); ++n) {
    std::string suffix = std::to_string(n);
    suffix.insert(suffix.begin(), '_');
    name = base.substr(0, 10 - suffix.size()) + suffix;
  }
  used_names.insert(AsciiLower(name));
  return name;
}

}  // namespace

void Header::SetBit(uint8_t* record, int bit, bool on) const {
  if (bit < 0) return;
  uint8_t& b = record[null_flags_offset + bit / 8];
  if (on)
    b = static_cast<uint8_t>(b | (1 << (bit % 8)));
  else
    b = static_cast<uint8_t>(b & ~(1 << (bit % 8)));
}

Status ParseHeader(const uint8_t* file, size_t file_size, Header& h) {
  VELMAR_RETURN_IF_ERROR(ParseVersion(file[0], h));
  h.record_count = LoadLe32(file + 4);
  h.size = LoadLe16(file + 8);
  h.record_size = LoadLe16(file + 10);
  h.marker = file[29];
  h.code_page = CodePageOfLanguageDriver(h.marker);
  if (h.code_page == 0) h.code_page = 437;

  const int start = h.db7 ? kDb7HeaderSize : 32;
  const int descriptor_size = h.db7 ? kDb7DescriptorSize : kDescriptorSize;
  if (h.size < start + 1 || static_cast<size_t>(h.size) > file_size) {
    return Status::Corrupt("неверный размер заголовка таблицы");
  }
  if (h.record_size < 1) return Status::Corrupt("неверный размер записи таблицы");
  const uint64_t data_bytes = uint64_t{h.record_count} * static_cast<uint64_t>(h.record_size);
  if (data_bytes > file_size - static_cast<size_t>(h.size)) {
    return Status::Corrupt("файл короче, чем указано в заголовке: " +
                           std::to_string(h.record_count) + " записей не помещаются");
  }

  h.fields.clear();
  for (int pos = start; pos < h.size && file[pos] != 0x0D; pos += descriptor_size) {
    if (pos + descriptor_size > h.size) {
      return Status::Corrupt("описание полей выходит за пределы заголовка");
    }
    h.fields.push_back(ReadDescriptor(file, pos, h));
  }
  VELMAR_RETURN_IF_ERROR(LayOutFields(h));
  AssignNullBits(h);
  h.bytes.assign(file, file + h.size);
  return Status::Ok();
}

Status CreateHeader(const TableFormat& format, const std::vector<ColumnDef>& columns, int code_page,
                    std::vector<uint8_t>& header, int& used_code_page) {
  if (format.family == TableFamily::kParadox) {
    return Status::Invalid("формат Paradox не является форматом dBase");
  }
  const bool foxpro = format.family == TableFamily::kFoxPro;
  if (columns.size() > 255) return Status::Invalid("в таблице dBase не может быть более 255 полей");
  uint8_t marker = LanguageDriverOfCodePage(code_page);
  used_code_page = code_page;
  if (marker == 0) {
    used_code_page = kCodePageWindowsCyrillic;
    marker = LanguageDriverOfCodePage(used_code_page);
  }
  std::vector<NewField> fields;
  std::set<std::string> used_names;
  bool memo = false;
  int record_size = 1;
  for (size_t i = 0; i < columns.size(); ++i) {
    NewField f;
    VELMAR_RETURN_IF_ERROR(MapColumn(columns[i], foxpro, f));
    f.name = FieldName(columns[i], i, used_code_page, used_names);
    memo = memo || f.type == 'M' || f.type == 'G' || f.type == 'P';
    record_size += f.length;
    fields.push_back(f);
  }
  if (record_size > 65535) return Status::Invalid("запись таблицы длиннее 65535 байт");
  const int header_size = 32 + 32 * static_cast<int>(fields.size()) + 1;
  header.assign(static_cast<size_t>(header_size), 0);
  header[0] = memo ? (foxpro ? 0xF5 : 0x83) : 0x03;
  StoreLe16(header.data() + 8, static_cast<uint32_t>(header_size));
  StoreLe16(header.data() + 10, static_cast<uint32_t>(record_size));
  header[29] = marker;
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* d = header.data() + 32 + 32 * i;
    std::memcpy(d, fields[i].name.data(), fields[i].name.size());
    d[11] = static_cast<uint8_t>(fields[i].type);
    d[16] = static_cast<uint8_t>(fields[i].length);
    d[17] = static_cast<uint8_t>(fields[i].decimals);
  }
  header[static_cast<size_t>(header_size - 1)] = 0x0D;
  return Status::Ok();
}

std::string VersionName(uint8_t version) {
  switch (version) {
    case 0x03:
      return "dBase III (no memo)";
    case 0x83:
      return "dBase III with .DBT memo";
    case 0x8b:
      return "dBase IV with .DBT memo";
    case 0x8e:
      return "dBase IV with SQL table";
    case 0x43:
    case 0x63:
      return "dBase IV SQL table (no memo)";
    case 0xcb:
      return "dBase IV SQL table with memo";
    case 0x04:
      return "dBase 7 (no memo)";
    case 0x8c:
      return "dBase 7 with memo";
    case 0xf5:
      return "FoxPro 2.x with .FPT memo";
    case 0xfb:
      return "FoxBASE";
    case 0x30:
      return "Visual FoxPro";
    case 0x31:
      return "Visual FoxPro with autoincrement";
    case 0x32:
      return "Visual FoxPro with Varchar/Varbinary";
    default:
      return "unknown";
  }
}

std::string Hex2(unsigned v) {
  static const char* kHex = "0123456789abcdef";
  std::string s = "0x";
  s += kHex[(v >> 4) & 15];
  s += kHex[v & 15];
  return s;
}

}  // namespace velmar::dbf

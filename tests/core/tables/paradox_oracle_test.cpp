// Reads the files our codec writes with pxlib, an independent Paradox
// reader, loaded at run time so that the suite neither needs nor links it.
// pxlib misreports nulls, so only values are compared.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/code_page.h"
#include "core/tables/paradox_format.h"
#include "core/tables/paradox_table.h"
#include "tests/support/column_def.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

struct PxField {  // pxlib's pxfield_t
  char* name;
  char type;
  int length;
  int decimals;
};

class PxLib {
 public:
  PxLib() {
    handle_ = dlopen("libpx.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    ok_ = Load(new_, "PX_new") && Load(open_, "PX_open_file") && Load(close_, "PX_close") &&
          Load(delete_, "PX_delete") && Load(num_records_, "PX_get_num_records") &&
          Load(num_fields_, "PX_get_num_fields") && Load(field_, "PX_get_field") &&
          Load(record_size_, "PX_get_recordsize") && Load(record_, "PX_get_record") &&
          Load(get_double_, "PX_get_data_double") && Load(get_long_, "PX_get_data_long") &&
          Load(get_short_, "PX_get_data_short") && Load(get_alpha_, "PX_get_data_alpha") &&
          Load(get_byte_, "PX_get_data_byte");
  }
  ~PxLib() {
    if (handle_) dlclose(handle_);
  }
  bool ok() const { return ok_; }

  // Every record as text cells: numbers and day counts in decimal, text as
  // the stored bytes.
  bool Read(const fs::path& path, std::vector<std::vector<std::string>>& rows,
            std::vector<char>& types) {
    void* doc = new_();
    if (!doc || open_(doc, path.c_str()) < 0) return false;
    const int fields = num_fields_(doc);
    const int records = num_records_(doc);
    std::vector<char> data(record_size_(doc));
    types.clear();
    for (int f = 0; f < fields; ++f) types.push_back(field_(doc, f)->type);
    for (int r = 0; r < records; ++r) {
      if (!record_(doc, r, data.data())) return false;
      std::vector<std::string> row;
      char* p = data.data();
      for (int f = 0; f < fields; ++f) {
        const PxField* fd = field_(doc, f);
        row.push_back(Cell(doc, fd, p));
        p += fd->length;
      }
      rows.push_back(row);
    }
    close_(doc);
    delete_(doc);
    return true;
  }

 private:
  template <typename F>
  bool Load(F& fn, const char* name) {
    fn = reinterpret_cast<F>(dlsym(handle_, name));
    return fn != nullptr;
  }

  std::string Cell(void* doc, const PxField* fd, char* p) {
    switch (fd->type) {
      case paradox::kAlpha: {
        char* v = nullptr;
        if (get_alpha_(doc, p, fd->length, &v) <= 0 || !v) return "";
        std::string s = v;
        free(v);
        return s;
      }
      case paradox::kShort: {
        short v = 0;
        get_short_(doc, p, fd->length, &v);
        return std::to_string(v);
      }
      case paradox::kLong:
      case paradox::kAutoInc:
      case paradox::kDate:
      case paradox::kTime: {
        long v = 0;
        get_long_(doc, p, fd->length, &v);
        return std::to_string(v);
      }
      case paradox::kNumber:
      case paradox::kCurrency:
      case paradox::kTimestamp: {
        double v = 0;
        get_double_(doc, p, fd->length, &v);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
      }
      case paradox::kLogical: {
        char v = 0;
        get_byte_(doc, p, fd->length, &v);
        return std::to_string(static_cast<int>(v));
      }
      default:
        return "?";
    }
  }

  void* handle_ = nullptr;
  bool ok_ = false;
  void* (*new_)() = nullptr;
  int (*open_)(void*, const char*) = nullptr;
  void (*close_)(void*) = nullptr;
  void (*delete_)(void*) = nullptr;
  int (*num_records_)(void*) = nullptr;
  int (*num_fields_)(void*) = nullptr;
  PxField* (*field_)(void*, int) = nullptr;
  int (*record_size_)(void*) = nullptr;
  char* (*record_)(void*, int, char*) = nullptr;
  int (*get_double_)(void*, char*, int, double*) = nullptr;
  int (*get_long_)(void*, char*, int, long*) = nullptr;
  int (*get_short_)(void*, char*, int, short*) = nullptr;
  int (*get_alpha_)(void*, char*, int, char**) = nullptr;
  int (*get_byte_)(void*, char*, int, char*) = nullptr;
};

// Our value in the form the oracle gives it.
std::string OurCell(const Value& v, int code_page) {
  char buf[64];
  if (auto* s = std::get_if<std::string>(&v)) return EncodeFromUtf8(*s, code_page);
  if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (auto* b = std::get_if<bool>(&v)) return *b ? "1" : "0";
  if (auto* d = std::get_if<double>(&v)) {
    std::snprintf(buf, sizeof buf, "%.17g", *d);
    return buf;
  }
  if (auto* d = std::get_if<Date>(&v)) return std::to_string(paradox::DayNumber(*d));
  if (auto* t = std::get_if<TimeOfDay>(&v)) return std::to_string(t->milliseconds);
  if (auto* t = std::get_if<Timestamp>(&v)) {
    std::snprintf(buf, sizeof buf, "%.17g",
                  static_cast<double>(paradox::DayNumber(t->date)) * 86400000.0 + t->milliseconds);
    return buf;
  }
  return "?";
}

using testing_support::Col;

TEST(ParadoxOracleTest, PxlibReadsWhatWeWriteAtEveryLevel) {
  PxLib px;
  if (!px.ok()) GTEST_SKIP() << "pxlib (libpx.so.0) is not installed; independent check skipped";
  const fs::path dir = fs::path(testing::TempDir()) / "paradox_oracle";
  fs::create_directories(dir);
  for (int level : {3, 4, 5, 7}) {
    SCOPED_TRACE(level);
    std::vector<ColumnDef> defs = {Col("Name", 'A', 12), Col("Small", 'S'), Col("Number", 'N'),
                                   Col("Money", '$'), Col("Day", 'D')};
    if (level >= 5) {
      for (auto d : {Col("Long", 'I'), Col("Flag", 'L'), Col("Clock", 'T'), Col("Stamp", '@'),
                     Col("Counter", '+')}) {
        defs.push_back(d);
      }
    }
    const int code_page = level == 3 ? 437 : 1252;
    std::unique_ptr<Table> table;
    const fs::path path = dir / std::string("L").append(std::to_string(level)).append(".db");
    ASSERT_TRUE(
        CreateParadoxTable(path, {TableFamily::kParadox, level}, defs, code_page, table).ok());
    // Enough records for several data blocks.
    for (int r = 0; r < 700; ++r) {
      ASSERT_TRUE(table->Append().ok());
      std::vector<Value> row = {std::string("rec ") + std::to_string(r) + (level > 3 ? "é" : ""),
                                int64_t{r - 350},
                                (r - 350) / 7.0,
                                r * 0.25,
                                Date{1900 + r % 200, 1 + r % 12, 1 + r % 28},
                                int64_t{r * 100000 - 35000000},
                                r % 2 == 0,
                                TimeOfDay{r * 1000},
                                Timestamp{Date{2000, 1, 1 + r % 28}, r * 1001},
                                int64_t{r + 1}};
      for (size_t c = 0; c < defs.size(); ++c) {
        ASSERT_TRUE(table->SetValue(static_cast<int>(c), row[c]).ok()) << c;
      }
    }
    ASSERT_TRUE(table->Save().ok());

    std::vector<std::vector<std::string>> rows;
    std::vector<char> types;
    ASSERT_TRUE(px.Read(path, rows, types));
    ASSERT_EQ(types.size(), defs.size());
    ASSERT_EQ(rows.size(), 700u);
    EXPECT_EQ(rows[1][1], "-349");
    EXPECT_EQ(rows[699][0].substr(0, 7), "rec 699");
    int r = 0;
    for (table->First(); !table->Eof(); table->Next(), ++r) {
      for (size_t c = 0; c < defs.size(); ++c) {
        EXPECT_EQ(rows[r][c], OurCell(table->GetValue(static_cast<int>(c)), code_page))
            << "record " << r << " column " << defs[c].name;
      }
    }
  }
}

}  // namespace
}  // namespace velmar

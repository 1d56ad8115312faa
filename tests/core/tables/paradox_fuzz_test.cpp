// Randomized damage of real and self-written Paradox files: every mutant is
// either refused with a message or opened and read in full, never a crash,
// a hang or a runaway allocation. The seed is fixed, so a failure repeats.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/base/file_util.h"
#include "core/tables/paradox_table.h"
#include "tests/support/column_def.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

void WritePlain(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Reads every cell the way the callers do.
void ReadAll(Table& table) {
  for (table.First(); !table.Eof(); table.Next()) {
    for (int c = 0; c < table.ColumnCount(); ++c) {
      (void)table.IsNull(c);
      (void)table.AsFloat(c);
      (void)table.GetValue(c);
      (void)table.ValueJson(c);
    }
  }
}

using testing_support::Col;

fs::path OwnTable(const fs::path& dir) {
  const fs::path path = dir / "own.db";
  std::unique_ptr<Table> table;
  Status s = CreateParadoxTable(path, {TableFamily::kParadox, 7},
                                {Col("T", 'A', 8), Col("N", 'N'), Col("S", 'S'), Col("D", 'D'),
                                 Col("M", 'M', 12), Col("X", '#', 17), Col("Z", '@')},
                                1252, table);
  for (int r = 0; s.ok() && r < 120; ++r) {
    s = table->Append();
    if (s.ok()) s = table->SetValue(0, std::string("r").append(std::to_string(r)));
    if (s.ok()) s = table->SetValue(1, r * 1.5);
    if (s.ok()) s = table->SetValue(2, int64_t{r});
    if (s.ok()) s = table->SetValue(3, Date{2000, 1 + r % 12, 1});
    if (s.ok()) s = table->SetValue(4, std::string(r % 3 ? 5 : 40, 'm'));
    if (s.ok()) s = table->SetValue(5, r / 3.0);
    if (s.ok()) s = table->SetValue(6, Timestamp{Date{2001, 2, 3}, r * 1000});
  }
  if (s.ok()) s = table->Save();
  EXPECT_TRUE(s.ok()) << s.message();
  return path;
}

TEST(ParadoxFuzzTest, MutatedFilesAreRefusedOrReadSafely) {
  // Memory-backed storage when there is some: rewriting one file 1,500 times
  // is slow on journaling file systems.
  std::error_code ec;
  fs::path root =
      fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::path(testing::TempDir());
  const fs::path dir = root / ("velmar_paradox_fuzz_" + std::to_string(::getpid()));
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  std::vector<fs::path> seeds = {OwnTable(dir)};
  const fs::path shared = fs::path(VELMAR_SHARED_FIXTURES) / "paradox";
  for (const char* name : {"CUSTOMER.DB", "bcd.db", "tblsttes.DB", "time.db", "ROMAN8.db",
                           "areas/STATES.DB", "date35.db", "memo.db", "logical.db"}) {
    if (fs::exists(shared / name)) seeds.push_back(shared / name);
  }
  if (seeds.size() == 1) std::cout << "shared fixtures absent: fuzzing our own table only\n";

  std::mt19937 rng(20240611);
  int opened = 0, refused = 0;
  for (const fs::path& seed : seeds) {
    std::vector<uint8_t> original;
    ASSERT_TRUE(ReadFileBytes(seed, original).ok());
    // Most rounds damage the table file; every fourth damages its blob file.
    const fs::path mutant = dir / "mutant.db";
    std::vector<uint8_t> blob_original;
    fs::path blob = seed;
    for (const char* ext : {".MB", ".mb"}) {
      blob.replace_extension(ext);
      if (fs::exists(blob)) {
        ASSERT_TRUE(ReadFileBytes(blob, blob_original).ok());
      }
    }
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> bytes = original;
      std::vector<uint8_t> blob_bytes = blob_original;
      const bool damage_blobs = !blob_bytes.empty() && round % 4 == 3;
      std::vector<uint8_t>& target = damage_blobs ? blob_bytes : bytes;
      const int edits = 1 + static_cast<int>(rng() % 6);
      for (int e = 0; e < edits && !target.empty(); ++e) {
        const uint32_t kind = rng() % 10;
        // Most damage goes where the counts and offsets live: the table's
        // header and first block header, the blob file's block headers.
        size_t at = rng() % target.size();
        if (kind < 6) {
          at = damage_blobs ? (at & ~size_t{4095}) + rng() % 16 + (rng() % 2) * 12
                            : rng() % std::min<size_t>(target.size(), 0x800 + 8);
          at = std::min(at, target.size() - 1);
        }
        if (kind < 4) {
          target[at] = static_cast<uint8_t>(rng());
        } else if (kind < 7) {
          const uint8_t extreme[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
          target[at] = extreme[rng() % 5];
          if (at + 1 < target.size()) target[at + 1] = extreme[rng() % 5];
        } else if (kind < 9) {
          target[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        } else {
          target.resize(at);
        }
      }
      if (!blob_original.empty()) WritePlain(dir / "mutant.mb", blob_bytes);
      WritePlain(mutant, bytes);
      std::unique_ptr<Table> table;
      Status s = OpenParadoxTable(mutant, table);
      if (s.ok()) {
        ASSERT_NE(table, nullptr);
        ReadAll(*table);
        // Held memory stays within the file sizes.
        EXPECT_LE(ParadoxHeldBytes(*table), bytes.size() + blob_bytes.size() + 65536);
        ++opened;
      } else {
        EXPECT_FALSE(s.message().empty());
        EXPECT_EQ(table, nullptr);
        ++refused;
      }
    }
    fs::remove(dir / "mutant.mb");
  }
  fs::remove_all(dir, ec);
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace velmar

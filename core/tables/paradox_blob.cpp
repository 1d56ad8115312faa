#include "core/tables/paradox_blob.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "core/base/byte_order.h"
#include "core/tables/paradox_format.h"
#include "core/tables/paradox_table.h"

namespace velmar {
namespace paradox {
namespace {

namespace fs = std::filesystem;

constexpr int kMbChunk = 4096;

// Where the bytes of the blob `pointer` names start in `mb`: a block of its
// own (index 0xFF) or an entry of a block of small blobs; 0 for damage.
size_t BlobStart(const std::vector<uint8_t>& mb, uint32_t pointer) {
  const size_t block = pointer & 0xFFFFFF00u;
  const unsigned index = pointer & 0xFF;
  if (block == 0 || block + 12 > mb.size()) return 0;
  const uint8_t* b = mb.data() + block;
  if (index == 0xFF) return b[0] == 2 ? block + 9 : 0;
  if (b[0] != 3 || index >= 64) return 0;
  const size_t entry = block + 12 + index * 5;
  if (entry + 5 > mb.size() || mb[entry] == 0) return 0;
  return block + size_t{mb[entry]} * 16;
}

std::vector<uint8_t> BlobFileHeader() {
  std::vector<uint8_t> mb(kMbChunk, 0);
  StoreLe16(&mb[1], 1);
  StoreLe16(&mb[3], 1);
  StoreLe16(&mb[11], 0x1000);
  StoreLe16(&mb[13], 0x1000);
  mb[15] = 0x10;
  mb[16] = 0x40;
  StoreLe16(&mb[19], 0x0008);
  return mb;
}

}  // namespace

Status ReadBlobs(const std::vector<uint8_t>* mb, BlobRecords in, std::vector<Bytes>& blobs) {
  const Status bad = Status::Corrupt("Файл BLOB-полей (.mb) таблицы Paradox повреждён");
  // Blobs of a sound file do not overlap, so together they fit in the file;
  // records that all point at one large blob must not multiply it.
  size_t loaded = 0;
  for (int r = 0; r < in.record_count; ++r) {
    uint8_t* rec = in.records.data() + static_cast<size_t>(r) * in.record_size;
    for (const Field& f : in.fields) {
      if (!IsBlobType(f.code)) continue;
      const size_t leader = f.size - kBlobDescriptorSize;
      uint8_t* desc = rec + f.offset + leader;
      const uint32_t pointer = LoadLe32(desc);
      const uint32_t length = LoadLe32(desc + 4);
      if (length <= leader) {
        StoreLe32(desc, 0);
        continue;
      }
      if (!mb) {
        std::memset(desc, 0, kBlobDescriptorSize);
        continue;
      }
      const size_t start = BlobStart(*mb, pointer);
      if (start == 0 || start + length > mb->size()) return bad;
      loaded += length;
      if (loaded > mb->size()) return bad;
      blobs.emplace_back(mb->begin() + static_cast<ptrdiff_t>(start),
                         mb->begin() + static_cast<ptrdiff_t>(start + length));
      StoreLe32(desc, static_cast<uint32_t>(blobs.size() - 1));
    }
  }
  return Status::Ok();
}

Status WriteBlobs(BlobRecords out, const std::vector<Bytes>& blobs, std::vector<uint8_t>& mb) {
  mb.clear();
  const bool has_blobs = std::any_of(out.fields.begin(), out.fields.end(),
                                     [](const Field& f) { return IsBlobType(f.code); });
  if (has_blobs) mb = BlobFileHeader();
  // One block for each blob that outgrows its leader.
  for (int r = 0; r < out.record_count; ++r) {
    uint8_t* rec = out.records.data() + static_cast<size_t>(r) * out.record_size;
    for (const Field& f : out.fields) {
      if (!IsBlobType(f.code)) continue;
      uint8_t* desc = rec + f.offset + f.size - kBlobDescriptorSize;
      const uint32_t index = LoadLe32(desc);
      if (index == 0) continue;
      const Bytes& blob = blobs[index];
      const size_t offset = mb.size();
      const size_t chunks = (9 + blob.size() + kMbChunk - 1) / kMbChunk;
      if (offset + chunks * kMbChunk > 0xFFFFFF00u || chunks > 0xFFFF) {
        return Status::Unsupported("Файл BLOB-полей таблицы Paradox получается слишком большим");
      }
      mb.resize(offset + chunks * kMbChunk, 0);
      uint8_t* b = &mb[offset];
      b[0] = 2;
      StoreLe16(b + 1, static_cast<uint32_t>(chunks));
      StoreLe32(b + 3, static_cast<uint32_t>(blob.size()));
      StoreLe16(b + 7, 1);
      std::memcpy(b + 9, blob.data(), blob.size());
      StoreLe32(desc, static_cast<uint32_t>(offset) | 0xFF);
      StoreLe16(desc + 8, 1);
    }
  }
  return Status::Ok();
}

fs::path FindBlobFile(const fs::path& table_path) {
  std::error_code ec;
  for (const char* ext : {".mb", ".MB", ".Mb", ".mB"}) {
    fs::path candidate = table_path;
    candidate.replace_extension(ext);
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

}  // namespace paradox

std::filesystem::path ParadoxBlobPath(const std::filesystem::path& table_path) {
  std::string ext = table_path.extension().string();
  bool upper = !ext.empty() &&
               std::none_of(ext.begin(), ext.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  std::filesystem::path p = table_path;
  p.replace_extension(upper ? ".MB" : ".mb");
  return p;
}

}  // namespace velmar

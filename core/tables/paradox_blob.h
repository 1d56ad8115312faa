#ifndef VELMAR_CORE_TABLES_PARADOX_BLOB_H_
#define VELMAR_CORE_TABLES_PARADOX_BLOB_H_

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/base/status.h"
#include "core/tables/paradox_header.h"
#include "core/tables/table.h"

// The blob file of a Paradox table (.mb). In memory a blob field's
// descriptor (its last 10 bytes) holds, instead of the file's block
// pointer, the index of the blob in a list (0: none, or held in the leader).
namespace velmar::paradox {

// The records of a table with their blob fields.
struct BlobRecords {
  std::vector<uint8_t>& records;
  int record_size;
  int record_count;
  const std::vector<Field>& fields;
};

// Takes the blobs of `mb` (nullptr: the file is missing, and the blobs
// read as null) into `blobs` and points the descriptors at them.
Status ReadBlobs(const std::vector<uint8_t>* mb, BlobRecords in, std::vector<Bytes>& blobs);

// Writes the listed blobs into a new blob file `mb` and points the
// descriptors of the records (a copy to be written) at their blocks. `mb`
// stays empty when the table has no blob field.
Status WriteBlobs(BlobRecords out, const std::vector<Bytes>& blobs, std::vector<uint8_t>& mb);

// The blob file of a table as found, whatever the case of its extension;
// empty when there is none.
std::filesystem::path FindBlobFile(const std::filesystem::path& table_path);

}  // namespace velmar::paradox

#endif  // VELMAR_CORE_TABLES_PARADOX_BLOB_H_

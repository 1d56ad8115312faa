#ifndef VELMAR_CORE_TABLES_TABLE_FILES_H_
#define VELMAR_CORE_TABLES_TABLE_FILES_H_

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The files that go with a table file: the ones beside it with its name and
// another extension (memos, blobs, indexes), found whatever their case.
namespace velmar {

// ASCII lower case, for file names and extensions.
std::string AsciiLower(std::string s);

// The files beside `table` with its name in any case, the table itself left
// out, whose lower-case extension (".mb") and entry pass `keep`.
std::vector<std::filesystem::path> FilesOfTable(
    const std::filesystem::path& table,
    const std::function<bool(const std::string& ext, const std::filesystem::directory_entry&)>&
        keep);

// The names of those files whose lower-case extension passes `companion`, as
// a sorted JSON list for the dumps.
std::string CompanionListJson(const std::filesystem::path& table,
                              const std::function<bool(const std::string& ext)>& companion);

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_TABLE_FILES_H_

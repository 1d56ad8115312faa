#include "core/tables/table_files.h"

#include <algorithm>
#include <system_error>

#include "core/tables/value_text.h"

namespace velmar {

namespace fs = std::filesystem;

std::string AsciiLower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::vector<fs::path> FilesOfTable(
    const fs::path& table,
    const std::function<bool(const std::string& ext, const fs::directory_entry&)>& keep) {
  std::vector<fs::path> found;
  std::error_code ec;
  fs::path dir = table.parent_path();
  if (dir.empty()) dir = ".";
  const std::string stem = AsciiLower(table.stem().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (p.filename() != table.filename() && AsciiLower(p.stem().string()) == stem &&
        keep(AsciiLower(p.extension().string()), *it)) {
      found.push_back(p);
    }
  }
  return found;
}

std::string CompanionListJson(const fs::path& table,
                              const std::function<bool(const std::string& ext)>& companion) {
  std::vector<std::string> names;
  for (const fs::path& p :
       FilesOfTable(table, [&companion](const std::string&ext, const fs::directory_entry&) {
         return companion(ext);
       })) {
    names.push_back(p.filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string list = "[";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) list += ',';
    list += JsonQuote(names[i]);
  }
  return list + "]";
}

}  // namespace velmar

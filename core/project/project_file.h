#ifndef VELMAR_CORE_PROJECT_PROJECT_FILE_H_
#define VELMAR_CORE_PROJECT_PROJECT_FILE_H_

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/status.h"

// The project file: its reader and writer.
namespace velmar {

class FileLock;
class Project;

// The longest text a project file can hold (its counted strings keep at most
// 260 bytes including the terminating zero).
constexpr int kMaxStoredTextBytes = 259;

// Ok when `utf8` can be stored as a text of the project file: it fits in
// Windows-1251 without loss, holds no zero byte and has at most 259 bytes there.
Status CheckStorableText(std::string_view utf8);

// The whole project file as bytes. Fails when a text is too long to be stored.
Status SerializeProject(const Project& project, std::vector<uint8_t>& out);
// Reads a project file image into `project`, which must be freshly made. On
// failure `project` holds no networks and default options.
Status ParseProject(std::span<const uint8_t> bytes, Project& project);

// Writes the project atomically: a failed save keeps the previous file and
// leaves Modified set; a successful one clears it.
Status SaveProject(Project& project, const std::filesystem::path& path);
// The same, moving `lock` (when not null) to the file written, so that a
// command keeps its project locked across the save.
Status SaveProject(Project& project, const std::filesystem::path& path, FileLock* lock);
// Loads `path` into a fresh project; any failure leaves it empty.
Status LoadProject(const std::filesystem::path& path, Project& project);
// The text shown when `path` could not be loaded: "Не удается открыть файл "
// with the full file name, then why (missing, unreadable or damaged).
std::string ProjectOpenErrorText(const std::filesystem::path& path, const Status& status);

}  // namespace velmar

#endif  // VELMAR_CORE_PROJECT_PROJECT_FILE_H_

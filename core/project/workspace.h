#ifndef VELMAR_CORE_PROJECT_WORKSPACE_H_
#define VELMAR_CORE_PROJECT_WORKSPACE_H_

#include <filesystem>
#include <memory>

#include "core/base/host.h"
#include "core/base/status.h"
#include "core/base/training_view.h"
#include "core/data/data_description.h"
#include "core/engine/engine_context.h"
#include "core/project/project.h"
#include "core/tables/table.h"

namespace velmar {

// When the field statistics of a data file are gathered.
enum class FieldStatistics {
  kOnOpen,      // at once, as the project window does
  kOnFirstUse,  // when first asked for (commands that may never need them)
};

// What the user has open: one project, at most one data table with its field
// statistics, and the host that speaks for the user. Every engine operation
// gets its context from here, so the windows and the command line reach the
// options, the table and the host the same way; a record posted in the table
// reaches the statistics and the taskbooks through here as well.
class Workspace {
 public:
  explicit Workspace(Host& host);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  Host& host() const { return host_; }
  Project& project() { return *project_; }
  const Project& project() const { return *project_; }

  // Replaces the project by the one read from `path`; on failure the current
  // project stays.
  Status LoadProject(const std::filesystem::path& path);
  // Replaces the project by an empty one.
  void NewProject();

  // Opens `path` as the data file in place of the current one. On failure
  // nothing changes.
  Status OpenDataFile(const std::filesystem::path& path,
                      FieldStatistics statistics = FieldStatistics::kOnOpen);
  void CloseDataFile();
  bool HasDataFile() const { return table_ != nullptr; }
  Table* table() { return table_.get(); }
  const std::filesystem::path& DataPath() const { return data_path_; }
  // Writes the open table to its own file in its own format.
  Status SaveDataFile();
  // Save As of the open table (SaveTableAs): it is written to `caption` in
  // the format `format_index` (1 to 6), converted when that differs, and the
  // saved table, bound to `saved_as`, becomes the open one. On failure
  // nothing changes.
  Status SaveDataFileAs(const std::filesystem::path& caption, int format_index,
                        std::filesystem::path& saved_as);
  // The field statistics of the open table (empty when none is open).
  const FieldTemplate& Statistics();

  // A record of the open table was posted (edited, inserted or appended):
  // its values join the field statistics, and every network's taskbook is
  // discarded so that the next training reads the table again. The open
  // table calls this itself after each post.
  void RecordPosted(int row);
  // A record was deleted: the taskbooks are discarded; the statistics keep
  // what they have seen, as they never shrink. Called by the open table.
  void RecordDeleted(int row);

  // The context of an engine operation; progress goes to `view`, or nowhere.
  EngineContext Context();
  EngineContext Context(TrainingView& view);

 private:
  void FollowTable();
  void DiscardTaskBooks();

  Host& host_;
  std::unique_ptr<Project> project_;
  std::unique_ptr<Table> table_;
  std::filesystem::path data_path_;
  FieldTemplate statistics_;
  bool statistics_ready_ = false;
  NullTrainingView no_view_;
};

}  // namespace velmar

#endif  // VELMAR_CORE_PROJECT_WORKSPACE_H_

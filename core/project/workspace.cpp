#include "core/project/workspace.h"

#include <utility>

#include "core/project/project_file.h"
#include "core/tables/table_convert.h"
#include "core/tables/table_factory.h"

namespace velmar {

Workspace::Workspace(Host& host) : host_(host), project_(std::make_unique<Project>()) {}

Workspace::~Workspace() = default;

Status Workspace::LoadProject(const std::filesystem::path& path) {
  auto project = std::make_unique<Project>();
  Status status = velmar::LoadProject(path, *project);
  if (status.ok()) project_ = std::move(project);
  return status;
}

void Workspace::NewProject() { project_ = std::make_unique<Project>(); }

Status Workspace::OpenDataFile(const std::filesystem::path& path, FieldStatistics statistics) {
  std::unique_ptr<Table> table;
  Status status = OpenTable(path, table);
  if (!status.ok()) return status;
  VELMAR_RETURN_IF_ERROR(CheckDistinctColumnNames(*table));
  table_ = std::move(table);
  FollowTable();
  data_path_ = path;
  statistics_.clear();
  statistics_ready_ = false;
  if (statistics == FieldStatistics::kOnOpen) Statistics();
  return Status::Ok();
}

// Every change of a record reaches the workspace through the table's hooks,
// whoever makes it (the editor's grid, its navigator, a command). Append,
// insert and delete also mark the table Modified at once, not only at the
// next post: the edits live in memory until the table is saved, so closing
// the editor must ask about them, and the taskbooks must not outlive them.
void Workspace::FollowTable() {
  table_->SetPostHook([this](int row) { RecordPosted(row); });
  table_->SetDeleteHook([this](int row) { RecordDeleted(row); });
}

void Workspace::CloseDataFile() {
  table_.reset();
  data_path_.clear();
  statistics_.clear();
  statistics_ready_ = false;
}

Status Workspace::SaveDataFile() {
  if (table_ == nullptr) return Status::Invalid("Файл данных не открыт");
  return table_->Save();
}

Status Workspace::SaveDataFileAs(const std::filesystem::path& caption, int format_index,
                                 std::filesystem::path& saved_as) {
  if (table_ == nullptr) return Status::Invalid("Файл данных не открыт");
  VELMAR_RETURN_IF_ERROR(SaveTableAs(table_, caption, format_index, saved_as));
  // The saved table may be a converted copy that took the open one's place.
  FollowTable();
  data_path_ = saved_as;
  return Status::Ok();
}

const FieldTemplate& Workspace::Statistics() {
  if (!statistics_ready_ && table_ != nullptr) {
    BusyCursor busy(host_);
    statistics_ = BuildFieldTemplate(*table_);
    statistics_ready_ = true;
  }
  return statistics_;
}

void Workspace::RecordPosted(int row) {
  if (table_ != nullptr && statistics_ready_) AddRecordToFieldTemplate(statistics_, *table_, row);
  DiscardTaskBooks();
}

void Workspace::RecordDeleted(int) { DiscardTaskBooks(); }

void Workspace::DiscardTaskBooks() {
  for (int i = 0; i < project_->NetCount(); ++i) project_->Net(i).Book.reset();
}

EngineContext Workspace::Context() { return Context(no_view_); }

EngineContext Workspace::Context(TrainingView& view) {
  return EngineContext{project_->Options(), table_.get(), host_, view};
}

}  // namespace velmar

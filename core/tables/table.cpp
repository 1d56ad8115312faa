#include "core/tables/table.h"

#include <algorithm>

namespace velmar {

NumericCategory CategoryOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::kSmallInt:
      return NumericCategory::kSmallInt;
    case FieldKind::kInteger:
      return NumericCategory::kInteger;
    case FieldKind::kWord:
      return NumericCategory::kWord;
    case FieldKind::kBoolean:
      return NumericCategory::kBoolean;
    case FieldKind::kFloat:
      return NumericCategory::kFloat;
    case FieldKind::kCurrency:
      return NumericCategory::kCurrency;
    default:
      return NumericCategory::kNone;
  }
}

const char* CategoryName(NumericCategory category) {
  switch (category) {
    case NumericCategory::kSmallInt:
      return "numeric-smallint";
    case NumericCategory::kInteger:
      return "numeric-integer";
    case NumericCategory::kWord:
      return "numeric-word";
    case NumericCategory::kBoolean:
      return "numeric-boolean";
    case NumericCategory::kFloat:
      return "numeric-float";
    case NumericCategory::kCurrency:
      return "numeric-currency";
    case NumericCategory::kNone:
      break;
  }
  return "non-numeric";
}

const char* KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kText:
      return "text";
    case FieldKind::kSmallInt:
      return "smallint";
    case FieldKind::kInteger:
      return "integer";
    case FieldKind::kWord:
      return "word";
    case FieldKind::kBoolean:
      return "boolean";
    case FieldKind::kFloat:
      return "float";
    case FieldKind::kCurrency:
      return "currency";
    case FieldKind::kDate:
      return "date";
    case FieldKind::kTime:
      return "time";
    case FieldKind::kTimestamp:
      return "timestamp";
    case FieldKind::kAutoIncrement:
      return "autoinc";
    case FieldKind::kBcd:
      return "bcd";
    case FieldKind::kMemo:
      return "memo";
    case FieldKind::kFormattedMemo:
      return "formatted-memo";
    case FieldKind::kBinary:
      return "binary-blob";
    case FieldKind::kOle:
      return "ole";
    case FieldKind::kGraphic:
      return "graphic";
    case FieldKind::kBytes:
      return "bytes";
    case FieldKind::kNullFlags:
      return "nullflags";
    case FieldKind::kOther:
      break;
  }
  return "other";
}

bool FormatFromIndex(int index, TableFormat& format) {
  switch (index) {
    case 1:
      format = {TableFamily::kParadox, 3};
      return true;
    case 2:
      format = {TableFamily::kParadox, 4};
      return true;
    case 3:
      format = {TableFamily::kParadox, 5};
      return true;
    case 4:
      format = {TableFamily::kParadox, 7};
      return true;
    case 5:
      format = {TableFamily::kDbase, 0};
      return true;
    case 6:
      format = {TableFamily::kFoxPro, 25};
      return true;
    default:
      return false;
  }
}

void Table::MoveTo(int position) { position_ = std::clamp(position, 0, RecordCount()); }

void Table::SuspendViews() {
  if (suspend_depth_++ == 0 && view_listener_) view_listener_(true);
}

void Table::ResumeViews() {
  if (suspend_depth_ == 0) return;
  if (--suspend_depth_ == 0 && view_listener_) view_listener_(false);
}

Status Table::SetValueAt(int, int, const Value&) {
  return Status::Unsupported("таблица только для чтения");
}
Status Table::AppendRecord() { return Status::Unsupported("таблица только для чтения"); }
Status Table::InsertRecord() { return Status::Unsupported("таблица только для чтения"); }
Status Table::DeleteRecord() { return Status::Unsupported("таблица только для чтения"); }

Status Table::Append() {
  VELMAR_RETURN_IF_ERROR(AppendRecord());
  if (post_hook_) post_hook_(position_);
  return Status::Ok();
}

Status Table::Insert() {
  VELMAR_RETURN_IF_ERROR(InsertRecord());
  if (post_hook_) post_hook_(position_);
  return Status::Ok();
}

Status Table::Delete() {
  const int row = position_;
  VELMAR_RETURN_IF_ERROR(DeleteRecord());
  if (delete_hook_) delete_hook_(row);
  return Status::Ok();
}

Status Table::PostAt(int row) {
  if (post_hook_ && row >= 0 && row < RecordCount()) post_hook_(row);
  return Status::Ok();
}

Status Table::Save() { return Status::Unsupported("таблица только для чтения"); }
Status Table::SaveAs(const std::filesystem::path&, const TableFormat&) {
  return Status::Unsupported("таблица только для чтения");
}

}  // namespace velmar

#include "gui/tables/cell_text.h"

#include <QRegularExpression>

#include "core/base/number_text.h"
#include "gui/base/text.h"

namespace velmar::gui {
namespace {

Status Refused(const ColumnDef& column, const QString& text) {
  return Status::Invalid(ToStdString(
      QStringLiteral("\"%1\" не подходит для поля %2").arg(text, ToQString(column.name))));
}

bool ParseDate(const QString& text, Date& date) {
  static const QRegularExpression pattern(QStringLiteral("^(\\d{1,4})-(\\d{1,2})-(\\d{1,2})$"));
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return false;
  date = {match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt()};
  return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31;
}

bool ParseTime(const QString& text, int32_t& milliseconds) {
  static const QRegularExpression pattern(
      QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,3}))?)?$"));
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return false;
  const int hours = match.captured(1).toInt();
  const int minutes = match.captured(2).toInt();
  const int seconds = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
  const QString fraction = match.captured(4);
  const int millis = fraction.isEmpty() ? 0 : (fraction + QStringLiteral("00")).left(3).toInt();
  if (hours > 23 || minutes > 59 || seconds > 59) return false;
  milliseconds = ((hours * 60 + minutes) * 60 + seconds) * 1000 + millis;
  return true;
}

}  // namespace

bool IsEditableKind(FieldKind kind) {
  switch (kind) {
    case FieldKind::kText:
    case FieldKind::kSmallInt:
    case FieldKind::kInteger:
    case FieldKind::kWord:
    case FieldKind::kBoolean:
    case FieldKind::kFloat:
    case FieldKind::kCurrency:
    case FieldKind::kDate:
    case FieldKind::kTime:
    case FieldKind::kTimestamp:
    case FieldKind::kBcd:
    case FieldKind::kMemo:
    case FieldKind::kFormattedMemo:
      return true;
    default:
      return false;
  }
}

Status ParseCellText(const ColumnDef& column, const QString& typed, char decimal_separator,
                     Value& out) {
  const QString text = column.kind == FieldKind::kText || column.kind == FieldKind::kMemo ||
                               column.kind == FieldKind::kFormattedMemo
                           ? typed
                           : typed.trimmed();
  if (text.isEmpty()) {
    out = std::monostate{};
    return Status::Ok();
  }
  switch (column.kind) {
    case FieldKind::kText:
    case FieldKind::kMemo:
    case FieldKind::kFormattedMemo:
      out = ToStdString(text);
      return Status::Ok();
    case FieldKind::kSmallInt:
    case FieldKind::kInteger:
    case FieldKind::kWord: {
      const std::optional<int64_t> value = ParseIntegerText(ToStdString(text), kCommandLineSyntax);
      if (!value) return Refused(column, typed);
      out = *value;
      return Status::Ok();
    }
    case FieldKind::kBoolean: {
      const QString word = text.toLower();
      if (word == u"true" || word == u"1" || word == u"да") {
        out = true;
      } else if (word == u"false" || word == u"0" || word == u"нет") {
        out = false;
      } else {
        return Refused(column, typed);
      }
      return Status::Ok();
    }
    case FieldKind::kFloat:
    case FieldKind::kCurrency:
    case FieldKind::kBcd: {
      const std::optional<double> value =
          ParseRealText(ToStdString(text), kCommandLineSyntax, decimal_separator);
      if (!value) return Refused(column, typed);
      out = *value;
      return Status::Ok();
    }
    case FieldKind::kDate: {
      Date date;
      if (!ParseDate(text, date)) return Refused(column, typed);
      out = date;
      return Status::Ok();
    }
    case FieldKind::kTime: {
      TimeOfDay time;
      if (!ParseTime(text, time.milliseconds)) return Refused(column, typed);
      out = time;
      return Status::Ok();
    }
    case FieldKind::kTimestamp: {
      const QStringList parts =
          text.split(QRegularExpression(QStringLiteral("[T ]")), Qt::SkipEmptyParts);
      Timestamp stamp;
      if (parts.isEmpty() || parts.size() > 2 || !ParseDate(parts[0], stamp.date)) {
        return Refused(column, typed);
      }
      if (parts.size() == 2 && !ParseTime(parts[1], stamp.milliseconds)) {
        return Refused(column, typed);
      }
      out = stamp;
      return Status::Ok();
    }
    default:
      return Status::Unsupported(ToStdString(
          QStringLiteral("Поле %1 нельзя изменять в таблице").arg(ToQString(column.name))));
  }
}

}  // namespace velmar::gui

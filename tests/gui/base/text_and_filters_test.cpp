#include <QtTest>

#include "gui/base/dialogs.h"
#include "gui/base/text.h"
#include "gui/tables/cell_text.h"

namespace velmar::gui {

class TextAndFiltersTest : public QObject {
  Q_OBJECT

 private slots:
  void FiltersKeepTheirTextsAndPatterns() {
    const QString filter = QStringLiteral("Файлы базы данных (*.db,*.dbf)|*.db;*.dbf");
    const auto entries = ParseFilterList(filter);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].patterns, QStringList({"*.db", "*.dbf"}));
    // The dialog hides the parenthesized patterns and shows the text as given.
    QCOMPARE(QtNameFilters(filter), QStringList({"Файлы базы данных (*.db,*.dbf) (*.db *.dbf)"}));
    QCOMPARE(ParseFilterList(QStringLiteral("A|*a|B|*b|dangling")).size(), 2);
  }

  void CellTexts_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("shown");  // the value read, as ValueText would not do for dates
    QTest::newRow("float with comma") << int(FieldKind::kFloat) << "2,5" << true << "2.5";
    QTest::newRow("float with exponent") << int(FieldKind::kFloat) << "1e-3" << true << "0.001";
    QTest::newRow("float word") << int(FieldKind::kFloat) << "inf" << false << "";
    QTest::newRow("integer") << int(FieldKind::kInteger) << " -42 " << true << "-42";
    QTest::newRow("integer with point") << int(FieldKind::kInteger) << "4.2" << false << "";
    QTest::newRow("boolean yes") << int(FieldKind::kBoolean) << "Да" << true << "true";
    QTest::newRow("boolean other") << int(FieldKind::kBoolean) << "maybe" << false << "";
    QTest::newRow("date") << int(FieldKind::kDate) << "2024-02-29" << true << "2024-2-29";
    QTest::newRow("bad month") << int(FieldKind::kDate) << "2024-13-01" << false << "";
    QTest::newRow("time") << int(FieldKind::kTime) << "23:59:58.5" << true << "86398500";
    QTest::newRow("bad time") << int(FieldKind::kTime) << "24:00" << false << "";
    QTest::newRow("empty is null") << int(FieldKind::kFloat) << "" << true << "null";
    QTest::newRow("text keeps blanks") << int(FieldKind::kText) << " a " << true << " a ";
    QTest::newRow("bytes are not typed") << int(FieldKind::kBinary) << "00" << false << "";
  }
  void CellTexts() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, shown);
    ColumnDef column;
    column.name = "F";
    column.kind = static_cast<FieldKind>(kind);
    Value value;
    const Status status = ParseCellText(column, text, ',', value);
    QCOMPARE(status.ok(), ok);
    if (!ok) return;
    QString read;
    if (IsNullValue(value)) read = QStringLiteral("null");
    if (auto* d = std::get_if<double>(&value)) read = QString::number(*d);
    if (auto* i = std::get_if<int64_t>(&value)) read = QString::number(*i);
    if (auto* b = std::get_if<bool>(&value)) read = *b ? QStringLiteral("true") : "false";
    if (auto* s = std::get_if<std::string>(&value)) read = ToQString(*s);
    if (auto* d = std::get_if<Date>(&value)) {
      read = QStringLiteral("%1-%2-%3").arg(d->year).arg(d->month).arg(d->day);
    }
    if (auto* t = std::get_if<TimeOfDay>(&value)) read = QString::number(t->milliseconds);
    QCOMPARE(read, shown);
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::TextAndFiltersTest)
#include "text_and_filters_test.moc"

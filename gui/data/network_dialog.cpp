#include "gui/data/network_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/base/format_real.h"
#include "core/base/number_text.h"
#include "core/project/project.h"
#include "gui/app/main_frame.h"
#include "gui/base/qt_host.h"
#include "gui/base/text.h"

namespace velmar::gui {
namespace {

// Draws a field's line: navy with white text when selected, the font by the
// field's usage (gray italic not numeric, italic not used, bold output).
class FieldLineDelegate : public QStyledItemDelegate {
 public:
  FieldLineDelegate(const DataDescription& desc, QObject* parent)
      : QStyledItemDelegate(parent), desc_(desc) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const int row = index.row();
    if (row < 0 || row >= static_cast<int>(desc_.Fields.size())) return;
    const FieldDescription& field = desc_.Fields[row];
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(option.rect, selected ? QColor(0, 0, 128) : QColor(Qt::white));
    QFont font = option.font;
    QColor color = selected ? QColor(Qt::white) : QColor(Qt::black);
    switch (field.Usage) {
      case FieldUsage::NotNumeric:
        font.setItalic(true);
        if (!selected) color = QColor(128, 128, 128);
        break;
      case FieldUsage::NotUsed:
        font.setItalic(true);
        break;
      case FieldUsage::Output:
        font.setBold(true);
        break;
      case FieldUsage::Input:
        break;
    }
    painter->setFont(font);
    painter->setPen(color);
    painter->drawText(option.rect.adjusted(3, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      ToQString(field.Name));
    if (selected) {
      QStyleOptionFocusRect focus;
      focus.rect = option.rect;
      focus.state = option.state;
      focus.backgroundColor = QColor(0, 0, 128);
      QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter);
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    QFont bold = option.font;
    bold.setBold(true);
    size.setHeight(std::max(size.height(), QFontMetrics(bold).height() + 2));
    return size;
  }

 private:
  const DataDescription& desc_;
};

QLabel* Caption(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

}  // namespace

SpinEdit::SpinEdit(int minimum, int maximum, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum), position_(minimum) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setAccelerated(false);
}

void SpinEdit::SetPosition(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
  lineEdit()->setText(QString::number(position_));
  update();
}

void SpinEdit::ClearText() { lineEdit()->clear(); }

QValidator::State SpinEdit::validate(QString&, int&) const { return QValidator::Acceptable; }

void SpinEdit::stepBy(int steps) {
  const int moved = std::clamp(position_ + steps, minimum_, maximum_);
  if (moved == position_) return;
  SetPosition(moved);
  emit Stepped(position_);
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (position_ > minimum_) enabled |= StepDownEnabled;
  if (position_ < maximum_) enabled |= StepUpEnabled;
  return enabled;
}

TNetworkDialog::TNetworkDialog(MainFrame& frame, DataDescription& desc, Mode mode, QWidget* parent)
    : QDialog(parent), frame_(frame), desc_(desc), mode_(mode) {
  setProperty(kHelpContextProperty, 1100);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowTitle(Create() ? QStringLiteral("Создание нейронной сети")
                          : QStringLiteral("Параметры ") + ToQString(desc_.Name));
  if (!Create()) backup_ = TakeEditBackup(desc_);

  NetName = new QLineEdit(ToQString(desc_.Name), this);
  SetHint(NetName, QStringLiteral("Имя нейронной сети"));
  auto* name_row = new QHBoxLayout;
  name_row->addWidget(Caption(QStringLiteral("Имя сети:"), this));
  name_row->addWidget(NetName, 1);

  Pages = new QTabWidget(this);
  TabSheet1 = BuildFieldsPage();
  TabSheet2 = BuildStatesPage();
  TabSheet3 = BuildStructurePage();
  Pages->addTab(TabSheet1, QStringLiteral("Входы и выходы"));
  Pages->addTab(TabSheet2, QStringLiteral("Дискретные состояния поля "));
  Pages->addTab(TabSheet3, QStringLiteral("Структура сети"));

  ButtonOk =
      new QPushButton(Create() ? QStringLiteral("Создать") : QStringLiteral("Изменить"), this);
  SetHint(ButtonOk, Create() ? QStringLiteral("Создать нейронную сеть")
                             : QStringLiteral("Внести изменения в сеть"));
  ButtonOk->setDefault(true);
  ButtonCancel = new QPushButton(QStringLiteral("Отменить"), this);
  SetHint(ButtonCancel, Create() ? QStringLiteral("Отменить создание сети")
                                 : QStringLiteral("Отменить внесение изменений в сеть"));
  connect(ButtonOk, &QPushButton::clicked, this, &TNetworkDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &TNetworkDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOk);
  buttons->addWidget(ButtonCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(name_row);
  layout->addWidget(Pages, 1);
  layout->addLayout(buttons);

  // Opening: the structure page, the field list, the first field.
  {
    const QSignalBlocker blocker(UpDown);
    UpDown->setValue(std::clamp(desc_.NumOfLayers, 1, kMaxLayers));
  }
  UpDown->setEnabled(Create());
  IsMonotonical->setChecked(desc_.IsMonotonical != 0);
  IsMonotonical->setEnabled(Create());
  RefreshLayerRows();
  for (const FieldDescription& field : desc_.Fields) ListBox->addItem(ToQString(field.Name));
  RefreshCounters();
  ButtonOk->setEnabled(CanConfirmDescription(desc_));
  if (!desc_.Fields.empty()) SelectField(0);
  Pages->setCurrentIndex(0);
}

TNetworkDialog::~TNetworkDialog() = default;

QWidget* TNetworkDialog::BuildFieldsPage() {
  auto* page = new QWidget(this);
  ListBox = new QListWidget(page);
  SetHint(ListBox, QStringLiteral("Имеющиеся в файле данных поля"));
  ListBox->setItemDelegate(new FieldLineDelegate(desc_, ListBox));
  ListBox->installEventFilter(this);
  ListBox->setMinimumWidth(180);
  connect(ListBox, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!refreshing_ && row >= 0) SelectField(row);
  });

  MinMaxValues = new QLabel(page);
  MinMaxValues->setTextFormat(Qt::PlainText);
  MinMaxValues->setMinimumHeight(2 * MinMaxValues->fontMetrics().height() + 4);

  UsageGroup = new QGroupBox(QStringLiteral("Использование поля:"), page);
  SetHint(UsageGroup, QStringLiteral("Использование поля нейронной сетью"));
  auto* usage_layout = new QVBoxLayout(UsageGroup);
  const QString usage_texts[4] = {QStringLiteral("Поле не числовое и недоступно сети"),
                                  QStringLiteral("Поле не используется сетью"),
                                  QStringLiteral("Поле является входным для сети"),
                                  QStringLiteral("Поле является выходным для сети")};
  for (int u = 0; u < 4; ++u) {
    Usage[u] = new QRadioButton(usage_texts[u], UsageGroup);
    usage_layout->addWidget(Usage[u]);
    connect(Usage[u], &QRadioButton::toggled, this, [this, u](bool checked) {
      if (checked && !refreshing_) UsageChange(u);
    });
  }

  TypeGroup = new QGroupBox(QStringLiteral("Тип значений поля:"), page);
  SetHint(TypeGroup, QStringLiteral("Определение типа значений поля"));
  auto* type_layout = new QVBoxLayout(TypeGroup);
  TypeContinuous = new QRadioButton(QStringLiteral("Количественный (непрерывный)"), TypeGroup);
  TypeDiscrete = new QRadioButton(QStringLiteral("Качественный (дискретный)"), TypeGroup);
  type_layout->addWidget(TypeContinuous);
  type_layout->addWidget(TypeDiscrete);
  connect(TypeContinuous, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked && !refreshing_) TypeChange(false);
  });
  connect(TypeDiscrete, &QRadioButton::toggled, this, [this](bool checked) {
    if (checked && !refreshing_) TypeChange(true);
  });

  Label27 = new QLabel(QStringLiteral("Точность, ±"), page);
  Gap = new QLineEdit(page);
  SetHint(Gap, QStringLiteral("Величина люфта"));
  Gap->installEventFilter(this);
  auto* gap_row = new QHBoxLayout;
  gap_row->addWidget(Label27);
  gap_row->addWidget(Gap, 1);

  NumOfInpFields = new QLabel(page);
  NumOfInputs = new QLabel(page);
  NumOfOutFields = new QLabel(page);
  NumOfOutputs = new QLabel(page);
  auto* counters = new QGridLayout;
  counters->addWidget(Caption(QStringLiteral("Число входных полей:"), page), 0, 0);
  counters->addWidget(NumOfInpFields, 0, 1);
  counters->addWidget(Caption(QStringLiteral("Число входов сети:"), page), 1, 0);
  counters->addWidget(NumOfInputs, 1, 1);
  counters->addWidget(Caption(QStringLiteral("Число выходных полей:"), page), 0, 2);
  counters->addWidget(NumOfOutFields, 0, 3);
  counters->addWidget(Caption(QStringLiteral("Число выходов сети:"), page), 1, 2);
  counters->addWidget(NumOfOutputs, 1, 3);
  counters->setColumnStretch(1, 1);
  counters->setColumnStretch(3, 1);

  auto* left = new QVBoxLayout;
  left->addWidget(Caption(QStringLiteral("Поля в файле данных:"), page));
  left->addWidget(ListBox, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(MinMaxValues);
  right->addWidget(UsageGroup);
  right->addWidget(TypeGroup);
  right->addLayout(gap_row);
  right->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(left, 2);
  top->addLayout(right, 3);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(top, 1);
  layout->addLayout(counters);
  return page;
}

QWidget* TNetworkDialog::BuildStatesPage() {
  auto* page = new QWidget(this);
  UpDown1 = new QSpinBox(page);
  UpDown1->setRange(2, kMaxStates);
  UpDown1->setValue(2);
  // The text only shows the number; the arrows change it.
  UpDown1->findChild<QLineEdit*>()->setReadOnly(true);
  connect(UpDown1, &QSpinBox::valueChanged, this, [this](int count) {
    if (!refreshing_) StatesStepped(count);
  });
  Predecessor = new QCheckBox(QStringLiteral("Отношение предшествования:"), page);
  connect(Predecessor, &QCheckBox::clicked, this, [this](bool checked) {
    if (current_ >= 0) desc_.Fields[current_].Predecessor = checked ? 1 : 0;
  });
  auto* head = new QHBoxLayout;
  head->addWidget(Caption(QStringLiteral("Число дискретных состояний:"), page));
  head->addWidget(UpDown1);
  head->addSpacing(24);
  head->addWidget(Predecessor);
  head->addStretch();

  auto* grid = new QGridLayout;
  for (int s = 0; s < kMaxStates; ++s) {
    F[s] = new QLineEdit(page);
    To[s] = new QLineEdit(page);
    for (QLineEdit* edit : {F[s], To[s]}) {
      edit->setMinimumWidth(90);
      edit->installEventFilter(this);
    }
    const int column = (s / 10) * 4;
    const int row = s % 10;
    grid->addWidget(Caption(QStringLiteral("Состояние %1:").arg(s + 1), page), row, column);
    grid->addWidget(F[s], row, column + 1);
    grid->addWidget(To[s], row, column + 2);
  }
  grid->setColumnMinimumWidth(3, 16);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(head);
  layout->addLayout(grid);
  layout->addStretch();
  return page;
}

QWidget* TNetworkDialog::BuildStructurePage() {
  auto* page = new QWidget(this);
  UpDown = new QSpinBox(page);
  UpDown->setRange(1, kMaxLayers);
  UpDown->setValue(3);
  SetHint(UpDown, QStringLiteral("Число слоев нейронов в нейронной сети"));
  UpDown->findChild<QLineEdit*>()->setReadOnly(true);
  connect(UpDown, &QSpinBox::valueChanged, this, [this](int layers) {
    if (refreshing_) return;
    desc_.NumOfLayers = layers;
    RefreshLayerRows();
  });
  IsMonotonical = new QCheckBox(QStringLiteral("Монотонность:"), page);
  SetHint(IsMonotonical, QStringLiteral("Сеть имеет монотонную архитектуру"));
  auto* head = new QHBoxLayout;
  head->addWidget(Caption(QStringLiteral("Число слоев нейронов:"), page));
  head->addWidget(UpDown);
  head->addSpacing(24);
  head->addWidget(IsMonotonical);
  head->addStretch();

  auto* grid = new QGridLayout;
  grid->addWidget(Caption(QStringLiteral("Число нейронов:"), page), 0, 1);
  grid->addWidget(Caption(QStringLiteral("Нелинейность:"), page), 0, 2);
  grid->addWidget(Caption(QStringLiteral("Характеристика:"), page), 0, 3);
  for (int i = 0; i < kMaxLayers; ++i) {
    N[i] = new SpinEdit(1, kMaxNeuronsPerLayer, page);
    N[i]->installEventFilter(this);
    connect(N[i], &SpinEdit::Stepped, this,
            [this, i](int position) { desc_.NumOfNeurons[i] = position; });
    T[i] = new QComboBox(page);
    T[i]->addItem(QStringLiteral("Сигмоида  f(X)=X/(c+|X|)"));
    C[i] = new QLineEdit(page);
    C[i]->installEventFilter(this);
    grid->addWidget(Caption(QStringLiteral("Слой %1:").arg(i + 1), page), i + 1, 0);
    grid->addWidget(N[i], i + 1, 1);
    grid->addWidget(T[i], i + 1, 2);
    grid->addWidget(C[i], i + 1, 3);
  }
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(head);
  layout->addLayout(grid);
  layout->addStretch();
  return page;
}

QString TNetworkDialog::Real(float value) const {
  return ToQString(FormatReal(value, frame_.AppHost().DecimalSeparator()));
}

void TNetworkDialog::SelectField(int index) {
  if (index < 0 || index >= static_cast<int>(desc_.Fields.size())) return;
  current_ = index;
  {
    const QSignalBlocker blocker(ListBox);
    ListBox->setCurrentRow(index);
  }
  RefreshField();
}

void TNetworkDialog::RefreshField() {
  if (current_ < 0) return;
  const FieldDescription& field = desc_.Fields[current_];
  refreshing_ = true;
  const int usage = static_cast<int>(field.Usage);
  Usage[std::clamp(usage, 0, 3)]->setChecked(true);

  if (field.Usage == FieldUsage::NotNumeric) {
    MinMaxValues->clear();
  } else {
    MinMaxValues->setText(QStringLiteral("Диапазон изменения значений поля:\n\tот ") +
                          Real(field.MinValue) + QStringLiteral(" до ") + Real(field.MaxValue));
  }
  const bool not_numeric = field.Usage == FieldUsage::NotNumeric;
  Usage[0]->setEnabled(not_numeric);
  for (int u = 1; u < 4; ++u) Usage[u]->setEnabled(!not_numeric && (Create() || u == usage));

  const bool discrete = field.IsDiscrete != 0;
  const bool typed = field.Usage == FieldUsage::Input || field.Usage == FieldUsage::Output;
  TypeDiscrete->setChecked(discrete);
  TypeContinuous->setChecked(!discrete);
  TypeContinuous->setEnabled(typed && (Create() || !discrete));
  TypeDiscrete->setEnabled(typed && (Create() || discrete));

  Pages->setTabVisible(1, discrete);
  Pages->setTabText(1, QStringLiteral("Дискретные состояния поля ") + ToQString(field.Name));
  Predecessor->setChecked(field.Predecessor != 0);
  Predecessor->setEnabled(Create());
  UpDown1->setValue(std::clamp(field.NumOfDiscreteStates, 2, kMaxStates));
  UpDown1->setEnabled(Create());
  refreshing_ = false;
  if (discrete) RefreshStateRows();
  RefreshTolerance();
}

void TNetworkDialog::RefreshTolerance() {
  if (current_ < 0) return;
  const FieldDescription& field = desc_.Fields[current_];
  Label27->setText(field.IsDiscrete != 0 ? QStringLiteral("Надежность:")
                                         : QStringLiteral("Точность, ±"));
  const bool output = field.Usage == FieldUsage::Output;
  Label27->setEnabled(output);
  Gap->setEnabled(output);
  Gap->setText(output ? Real(field.Gap) : QString());
}

void TNetworkDialog::RefreshCounters() {
  NumOfInpFields->setText(QString::number(desc_.NumOfInpFields));
  NumOfInputs->setText(QString::number(desc_.NumOfInputs));
  NumOfOutFields->setText(QString::number(desc_.NumOfOutFields));
  NumOfOutputs->setText(QString::number(desc_.NumOfOutputs));
}

void TNetworkDialog::UsageChange(int usage) {
  if (current_ < 0) return;
  ChangeFieldUsage(desc_, current_, static_cast<FieldUsage>(usage));
  ButtonOk->setEnabled(CanConfirmDescription(desc_));
  RefreshCounters();
  RefreshField();
  ListBox->viewport()->update();
}

void TNetworkDialog::TypeChange(bool discrete) {
  if (current_ < 0) return;
  Pages->setTabVisible(1, discrete);
  FieldDescription& field = desc_.Fields[current_];
  if ((field.IsDiscrete != 0) != discrete) {
    SetFieldType(desc_, current_, discrete);
    if (discrete) {
      refreshing_ = true;
      UpDown1->setValue(std::clamp(field.NumOfDiscreteStates, 2, kMaxStates));
      refreshing_ = false;
      RefreshStateRows();
    }
  }
  RefreshTolerance();
  RefreshCounters();
}

void TNetworkDialog::StatesStepped(int count) {
  if (current_ < 0) return;
  ChangeNumOfStates(desc_, current_, count);
  RefreshCounters();
  RefreshStateRows();
}

void TNetworkDialog::RefreshStateRows() {
  if (current_ < 0) return;
  const FieldDescription& field = desc_.Fields[current_];
  for (int s = 0; s < kMaxStates; ++s) {
    const bool active = s < field.NumOfDiscreteStates && Create();
    F[s]->setEnabled(active);
    To[s]->setEnabled(active);
    const bool set =
        s < static_cast<int>(field.States.size()) && field.States[s].From != kUnsetValue;
    F[s]->setText(set ? Real(field.States[s].From) : QString());
    To[s]->setText(set ? Real(field.States[s].To) : QString());
  }
}

void TNetworkDialog::RefreshLayerRows() {
  for (int i = 0; i < kMaxLayers; ++i) {
    const bool active = i < desc_.NumOfLayers;
    N[i]->SetPosition(desc_.NumOfNeurons[i]);
    N[i]->setEnabled(active && Create());
    if (!active && !Create()) N[i]->ClearText();
    T[i]->setCurrentIndex(0);
    T[i]->setEnabled(active && Create());
    C[i]->setText(active || Create() ? Real(desc_.Characteristic[i]) : QString());
    C[i]->setEnabled(active);
  }
}

bool TNetworkDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !leaving_) {
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Another window taking the focus (a message box, a menu) leaves nothing.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      LeaveEdit(watched);
    }
  } else if (watched == ListBox && event->type() == QEvent::KeyPress && Create() && current_ >= 0 &&
             desc_.Fields[current_].Usage != FieldUsage::NotNumeric) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (key->key() == Qt::Key_Delete) {
      Usage[1]->setChecked(true);
      return true;
    }
    if (key->key() == Qt::Key_Insert) {
      Usage[ctrl ? 3 : 2]->setChecked(true);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TNetworkDialog::Refuse(QWidget* edit, const ValidationError& error) {
  leaving_ = true;
  frame_.UserDialogs().ShowMessage(this, ToQString(error.caption), ToQString(error.text));
  edit->setFocus(Qt::OtherFocusReason);
  leaving_ = false;
}

bool TNetworkDialog::LeaveEdit(QObject* watched) {
  const char separator = frame_.AppHost().DecimalSeparator();
  if (watched == Gap && current_ >= 0 && Gap->isEnabled()) {
    FieldDescription& field = desc_.Fields[current_];
    float value = field.Gap;
    if (auto error = ParseGap(ToStdString(Gap->text()), field, separator, value)) {
      Gap->setText(Real(field.Gap));
      Refuse(Gap, *error);
      return false;
    }
    field.Gap = value;
    return true;
  }
  for (int i = 0; i < kMaxLayers; ++i) {
    if (watched == N[i] && N[i]->isEnabled()) {
      int32_t value = desc_.NumOfNeurons[i];
      if (auto error = ParseNeuronCount(ToStdString(N[i]->text()), value)) {
        N[i]->SetPosition(desc_.NumOfNeurons[i]);
        Refuse(N[i], *error);
        return false;
      }
      desc_.NumOfNeurons[i] = value;
      N[i]->SetPosition(value);
      return true;
    }
    if (watched == C[i] && C[i]->isEnabled()) {
      float value = desc_.Characteristic[i];
      if (auto error = ParseCharacteristic(ToStdString(C[i]->text()), separator, value)) {
        C[i]->setText(Real(desc_.Characteristic[i]));
        Refuse(C[i], *error);
        return false;
      }
      desc_.Characteristic[i] = value;
      return true;
    }
  }
  for (int s = 0; s < kMaxStates; ++s) {
    if ((watched != F[s] && watched != To[s]) || current_ < 0) continue;
    auto* edit = static_cast<QLineEdit*>(watched);
    if (!edit->isEnabled()) return true;
    FieldDescription& field = desc_.Fields[current_];
    if (field.States.size() < static_cast<size_t>(kMaxStates)) field.States.resize(kMaxStates);
    float& stored = watched == To[s] ? field.States[s].To : field.States[s].From;
    const std::optional<float> parsed =
        ParseFloatText(ToStdString(edit->text()), kNetworkDialogSyntax, separator);
    if (auto error = ParseStateBound(ToStdString(edit->text()), separator, stored)) {
      edit->setText(Real(stored));
      Refuse(edit, *error);
      return false;
    }
    if (!parsed) edit->clear();
    return true;
  }
  return true;
}

void TNetworkDialog::accept() {
  if (auto* focused = QApplication::focusWidget(); focused != nullptr && isAncestorOf(focused)) {
    QObject* edit = focused;
    if (focused->parentWidget() != nullptr &&
        qobject_cast<QAbstractSpinBox*>(focused->parentWidget()) != nullptr) {
      edit = focused->parentWidget();
    }
    if (!LeaveEdit(edit)) return;
  }
  const std::string name = ToStdString(NetName->text());
  if (const Status storable = CheckStorableText(name); !storable.ok()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Неверное имя сети"),
                                     ToQString(storable.message()));
    NetName->setFocus();
    return;
  }
  desc_.Name = name;
  if (Create()) desc_.IsMonotonical = IsMonotonical->isChecked() ? 1 : 0;
  QDialog::accept();
}

void TNetworkDialog::reject() {
  if (!Create()) RestoreEditBackup(desc_, backup_);
  QDialog::reject();
}

}  // namespace velmar::gui

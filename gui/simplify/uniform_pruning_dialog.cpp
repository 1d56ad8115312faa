#include "gui/simplify/uniform_pruning_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/simplify/pruning.h"
#include "gui/app/main_frame.h"
#include "gui/engine/leave_check.h"

namespace velmar::gui {

TUniformPruningDialog::TUniformPruningDialog(Host& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), host_(host) {
  setObjectName("UniformPruningDialog");
  setProperty(kHelpContextProperty, kHelpContext);

  Label1 = new QLabel("Максимальное число сигналов на нейрон:", this);
  Label1->setObjectName("Label1");
  Label1->setToolTip("Максимальное число связей, приходящих на нейрон");
  Label1->move(16, 18);
  Label1->adjustSize();

  NumOfSymptoms = new QLineEdit("3", this);
  NumOfSymptoms->setObjectName("NumOfSymptoms");
  NumOfSymptoms->setToolTip("Максимальное число сигналов, приходящих на нейрон");
  NumOfSymptoms->setStatusTip(NumOfSymptoms->toolTip());
  const int edit_left = 16 + Label1->width() + 12;
  NumOfSymptoms->setGeometry(edit_left, 14, 48, NumOfSymptoms->sizeHint().height());

  const int width = edit_left + 48 + 16;
  Button1 = new QPushButton("Упрощение", this);
  Button1->setObjectName("Button1");
  Button1->setToolTip("Запуск процесса обучения сети");
  Button1->setDefault(true);
  Button1->setGeometry(width / 2 - 8 - 113, 60, 113, 32);

  Button2 = new QPushButton("Отменить", this);
  Button2->setObjectName("Button2");
  Button2->setToolTip("Отменить упрощение сети");
  Button2->setAutoDefault(false);
  Button2->setGeometry(width / 2 + 8, 60, 113, 32);
  setFixedSize(width, 104);

  connect(Button1, &QPushButton::clicked, this, &TUniformPruningDialog::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  new LeaveCheck(NumOfSymptoms, [this] { return CheckEdit(); });
  setTabOrder(NumOfSymptoms, Button1);
  setTabOrder(Button1, Button2);
}

void TUniformPruningDialog::Prepare(NeuralNet& net) {
  net_ = &net;
  setWindowTitle(QString::fromStdString("Равномерное упрощение " + net.Desc.Name));
  RestoreValue();
  NumOfSymptoms->setFocus();
  NumOfSymptoms->selectAll();
}

void TUniformPruningDialog::RestoreValue() {
  NumOfSymptoms->setText(QString::number(net_ != nullptr ? net_->NumOfSymptoms : 3));
}

bool TUniformPruningDialog::CheckEdit() {
  if (ParseNumOfSymptoms(NumOfSymptoms->text().toStdString())) return true;
  host_.ShowMessage(
      Message{"Неверное число приходящих на нейрон сигналов", "Ошибка", OwnerKind::kOther});
  RestoreValue();
  NumOfSymptoms->setFocus();
  return false;
}

void TUniformPruningDialog::Button1Click() {
  if (net_ == nullptr) return;
  if (!AcceptNumOfSymptoms(*net_, NumOfSymptoms->text().toStdString(), host_)) {
    RestoreValue();
    NumOfSymptoms->setFocus();
    return;
  }
  accept();
}

}  // namespace velmar::gui

#include "gui/engine/bump_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/engine/perturb.h"
#include "gui/app/main_frame.h"
#include "gui/engine/leave_check.h"

namespace velmar::gui {

TBumpDialog::TBumpDialog(Host& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), host_(host) {
  setObjectName("BumpDialog");
  setProperty(kHelpContextProperty, kHelpContext);
  setFixedSize(299, 108);

  Label1 = new QLabel("Уровень возмущения:", this);
  Label1->setObjectName("Label1");
  Label1->setAlignment(Qt::AlignCenter);
  Label1->move(33, 16);
  Label1->adjustSize();

  BumpLevel = new QLineEdit(this);
  BumpLevel->setObjectName("BumpLevel");
  BumpLevel->setGeometry(193, 14, 72, BumpLevel->sizeHint().height());
  BumpLevel->setToolTip("Уровень случайного возмущения весов синапсов");
  BumpLevel->setStatusTip(BumpLevel->toolTip());

  BumpButton = new QPushButton("Возмущение", this);
  BumpButton->setObjectName("BumpButton");
  BumpButton->setGeometry(24, 65, 113, 32);
  BumpButton->setToolTip("Внести возмущения в сеть");
  BumpButton->setDefault(true);
  BumpButton->setAutoDefault(true);

  Button1 = new QPushButton("Отменить", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(160, 65, 113, 32);
  Button1->setToolTip("Отменить внесение возмущений");
  Button1->setAutoDefault(false);

  connect(BumpButton, &QPushButton::clicked, this, &TBumpDialog::BumpButtonClick);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  new LeaveCheck(BumpLevel, [this] { return CheckLevel(nullptr); });
  setTabOrder(BumpLevel, BumpButton);
  setTabOrder(BumpButton, Button1);
}

void TBumpDialog::Prepare(NeuralNet& net) {
  net_ = &net;
  setWindowTitle(QString::fromStdString("Возмущение весов " + net.Desc.Name));
  BumpLevel->setText(QString::fromStdString(DefaultBumpLevelText(host_.DecimalSeparator())));
  BumpLevel->setFocus();
  BumpLevel->selectAll();
}

bool TBumpDialog::CheckLevel(float* level) {
  const std::optional<float> parsed = ParseBumpLevel(BumpLevel->text().toStdString(), host_);
  if (!parsed) {
    BumpLevel->setText(QString::fromStdString(DefaultBumpLevelText(host_.DecimalSeparator())));
    BumpLevel->setFocus();
    return false;
  }
  if (level != nullptr) *level = *parsed;
  return true;
}

void TBumpDialog::BumpButtonClick() {
  float level = 0;
  if (!CheckLevel(&level)) return;
  if (net_ != nullptr) Perturb(*net_, level);
  accept();
}

}  // namespace velmar::gui

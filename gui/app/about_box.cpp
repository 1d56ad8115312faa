#include "gui/app/about_box.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/main_frame.h"
#include "gui/base/text.h"

namespace velmar::gui {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("О программе"));
  setProperty(kHelpContextProperty, 1200);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* product = new QLabel(QStringLiteral("Velmar"), this);
  QFont large = product->font();
  large.setPointSize(large.pointSize() * 2 + 8);
  large.setBold(true);
  product->setFont(large);
  product->setAlignment(Qt::AlignCenter);

  auto* text = new QLabel(QStringLiteral("Версия 0.25\n\n"
                                         "Нейросетевой конструктор читаемых сетей\n"
                                         "над таблицами Paradox, dBase и FoxPro\n\n"
                                         "Разработчики проекта Velmar"),
                          this);
  text->setAlignment(Qt::AlignCenter);

  CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
  SetHint(CloseButton, QStringLiteral("Закрыть окно"));
  CloseButton->setDefault(true);
  CloseButton->setAutoDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(CloseButton);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 18, 24, 14);
  layout->setSpacing(10);
  layout->addWidget(product);
  layout->addWidget(text);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace velmar::gui

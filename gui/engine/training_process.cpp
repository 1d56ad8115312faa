#include "gui/engine/training_process.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "core/engine/training_driver.h"
#include "gui/app/main_frame.h"

namespace velmar::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

// Forwards the drivers' calls from the worker to the window, queued, so the
// labels change in the order the driver set them and only on the GUI thread.
class TTrainingProcess::QueuedView final : public TrainingView {
 public:
  explicit QueuedView(TTrainingProcess& window) : window_(&window) {}

  void SetCaption(const std::string& caption) override {
    Post([caption](TTrainingProcess& w) { w.SetTitle(caption); });
  }
  void Show(bool pruning_labels_visible) override {
    Post([pruning_labels_visible](TTrainingProcess& w) { w.FormShow(pruning_labels_visible); });
  }
  void Hide() override {
    Post([](TTrainingProcess& w) { w.HideWindow(); });
  }
  void ShowProgress(const TrainingProgress& progress) override {
    Post([progress](TTrainingProcess& w) { w.ShowProgress(progress); });
  }
  void SetStopButton(StopButtonState state) override {
    Post([state](TTrainingProcess& w) { w.SetStopButton(state); });
  }

 private:
  template <typename F>
  void Post(F f) {
    TTrainingProcess* w = window_;
    QMetaObject::invokeMethod(
        w, [w, f] { f(*w); }, Qt::QueuedConnection);
  }
  TTrainingProcess* window_;
};

TTrainingProcess::TTrainingProcess(QWidget* main_window, char decimal_separator)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      main_window_(main_window),
      separator_(decimal_separator),
      worker_view_(std::make_unique<QueuedView>(*this)) {
  setObjectName("TrainingProcess");
  setProperty(kHelpContextProperty, kHelpContext);
  setFixedSize(362, 256);
  setModal(false);

  auto label = [this](const char* name, const QString& text, int left, int top, int width) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    if (width > 0) {
      l->setGeometry(left, top, width, l->sizeHint().height());
    } else {
      l->move(left, top);
      l->adjustSize();
    }
    return l;
  };
  Label1 = label("Label1", "Число циклов обучения:", 16, 8, 0);
  NumOfTrainingCycles = label("NumOfTrainingCycles", "", 248, 8, 105);
  Label3 = label("Label3", "Шаг:", 16, 32, 0);
  Step = label("Step", "", 248, 32, 105);
  Label4 = label("Label4", "Средняя оценка:", 16, 56, 0);
  Error = label("Error", "", 248, 56, 105);
  Label5 = label("Label5", "Правильно решенных примеров:", 16, 80, 0);
  NumOfExamples = label("NumOfExamples", "", 248, 80, 105);
  Label6 = label("Label6", "Удалено входов:", 40, 112, 0);
  NumOfPrunedInputs = label("NumOfPrunedInputs", "", 224, 112, 130);
  Label9 = label("Label9", "Удалено нейронов:", 40, 136, 0);
  NumOfPrunedNeurons = label("NumOfPrunedNeurons", "", 224, 136, 130);
  Label7 = label("Label7", "Удалено синапсов:", 40, 160, 0);
  NumOfPrunedSynapses = label("NumOfPrunedSynapses", "", 224, 160, 130);
  Label8 = label("Label8", "Бинаризовано синапсов:", 40, 184, 0);
  NumOfBinSynapses = label("NumOfBinSynapses", "", 224, 184, 130);
  for (QLabel* l : {Label6, Label7, Label8, Label9}) l->hide();

  Button1 = new QPushButton(Q(StopButtonCaption(StopButtonState::kRunning)), this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(112, 216, 137, 33);
  Button1->setToolTip("Завершить обучение сети");
  Button1->setStatusTip("Завершить обучение сети");
  Button1->setDefault(true);
  Button1->setFocus();
  connect(Button1, &QPushButton::clicked, this, &TTrainingProcess::Button1Click);
}

TTrainingProcess::~TTrainingProcess() = default;

TrainingView& TTrainingProcess::WorkerView() { return *worker_view_; }

void TTrainingProcess::SetTitle(const std::string& caption) { setWindowTitle(Q(caption)); }

void TTrainingProcess::FormShow(bool pruning_labels_visible) {
  for (QLabel* l : {Label6, Label7, Label8, Label9}) l->setVisible(pruning_labels_visible);
  for (QLabel* l : {NumOfTrainingCycles, Step, Error, NumOfExamples, NumOfPrunedInputs,
                    NumOfPrunedSynapses, NumOfBinSynapses, NumOfPrunedNeurons}) {
    l->clear();
  }
  SetStopButton(StopButtonState::kRunning);
  if (main_window_) main_window_->setEnabled(false);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
  raise();
  activateWindow();
  Button1->setFocus();
  repaint();
}

void TTrainingProcess::HideWindow() {
  hide();
  if (main_window_) main_window_->setEnabled(true);
}

QLabel* TTrainingProcess::ValueLabel(TrainingLabel label) const {
  switch (label) {
    case TrainingLabel::kNumOfTrainingCycles:
      return NumOfTrainingCycles;
    case TrainingLabel::kStep:
      return Step;
    case TrainingLabel::kError:
      return Error;
    case TrainingLabel::kNumOfExamples:
      return NumOfExamples;
    case TrainingLabel::kNumOfPrunedInputs:
      return NumOfPrunedInputs;
    case TrainingLabel::kNumOfPrunedNeurons:
      return NumOfPrunedNeurons;
    case TrainingLabel::kNumOfPrunedSynapses:
      return NumOfPrunedSynapses;
    case TrainingLabel::kNumOfBinSynapses:
      return NumOfBinSynapses;
  }
  return nullptr;
}

void TTrainingProcess::SetLabel(TrainingLabel label, const std::string& text) {
  if (QLabel* l = ValueLabel(label)) l->setText(Q(text));
}

QString TTrainingProcess::LabelText(TrainingLabel label) const {
  const QLabel* l = ValueLabel(label);
  return l != nullptr ? l->text() : QString();
}

bool TTrainingProcess::PruningLabelsVisible() const { return !Label6->isHidden(); }

void TTrainingProcess::ShowProgress(const TrainingProgress& progress) {
  for (const velmar::LabelText& text : ProgressTexts(progress, separator_))
    SetLabel(text.label, text.text);
}

void TTrainingProcess::SetStopButton(StopButtonState state) {
  state_ = state;
  Button1->setText(Q(StopButtonCaption(state)));
}

// The window's own state decides, not the network's StopFlag, which the
// worker may be setting at this moment: a click while running asks the worker
// to stop after its current pass (the caption changes at once); a click while
// a stop is on its way does nothing; a click on "Готово" closes the window.
// The worker sets "Готово" only after its last figures, so the window never
// closes on figures still to come.
void TTrainingProcess::Button1Click() {
  switch (state_) {
    case StopButtonState::kRunning:
      SetStopButton(StopButtonState::kStopping);
      Button1->repaint();
      if (net_ != nullptr) net_->StopFlag = 1;
      return;
    case StopButtonState::kStopping:
      return;
    case StopButtonState::kFinished:
      HideWindow();
      emit finishedByUser();
      return;
  }
}

void TTrainingProcess::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace velmar::gui

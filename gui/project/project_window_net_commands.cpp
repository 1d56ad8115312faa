#include "gui/project/project_window.h"

// The network commands that open the engine's windows and dialogs.
namespace velmar::gui {

void TProject::TrainNet() {}
void TProject::TestNet() {}
void TProject::CheckTB() {}
void TProject::PruneInputs() { Simplify(1); }
void TProject::PruneNeurons() { Simplify(32); }
void TProject::PruneUniform() {}
void TProject::PruneSynapses() { Simplify(2); }
void TProject::PruneBiases() { Simplify(16); }
void TProject::BinarizeSynapses() { Simplify(4); }
void TProject::VerbalizeNet() {}
void TProject::InputSens() {}
void TProject::Bump() {}
void TProject::Simplify(int) {}

}  // namespace velmar::gui

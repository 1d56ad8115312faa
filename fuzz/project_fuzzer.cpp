// Loads arbitrary bytes as a project file. The reader must refuse what it
// cannot read with a message and leave the project empty; what it accepts
// must save again, and the saved bytes must load back to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/base/status.h"
#include "core/project/project.h"
#include "core/project/project_file.h"
#include "fuzz/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  const fs::path path = velmar::fuzz::ScratchFolder() / "p.vmp";
  velmar::fuzz::WriteScratchFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

  velmar::Project project;
  const velmar::Status status = velmar::LoadProject(path, project);
  std::error_code ec;
  fs::remove(path, ec);
  if (!status.ok()) {
    if (status.message().empty() || project.NetCount() != 0) std::abort();
    return 0;
  }

  size_t text = 0;
  for (int i = 0; i < project.NetCount(); ++i) {
    text += velmar::NetworkSelectionText(project.Net(i).Desc).size();
  }
  std::vector<uint8_t> saved;
  if (!velmar::SerializeProject(project, saved).ok()) std::abort();
  velmar::Project again;
  if (!velmar::ParseProject(saved, again).ok()) std::abort();
  std::vector<uint8_t> saved_again;
  if (!velmar::SerializeProject(again, saved_again).ok() || saved_again != saved) std::abort();
  volatile size_t sink = text;
  (void)sink;
  return 0;
}

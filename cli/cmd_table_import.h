#ifndef VELMAR_CLI_CMD_TABLE_IMPORT_H_
#define VELMAR_CLI_CMD_TABLE_IMPORT_H_

#include "cli/command.h"

namespace velmar::cli {

// `velmar-cli table import SRC.csv DST --format N ...`; `table` is the
// command whose usage a usage error shows. context.args starts with "import".
int RunTableImport(CommandContext& context, const Command& table);

}  // namespace velmar::cli

#endif  // VELMAR_CLI_CMD_TABLE_IMPORT_H_

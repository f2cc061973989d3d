#include "host/cli/gs1.h"

#include "host/cli/errors.h"
#include "host/gs1/syntax.h"

namespace cli {

std::string BuildGs1(std::string_view notation) {
  const gs1::Built built = gs1::Build(notation);
  if (!built.ok()) throw CliError(kExitUsage, "--gs1: " + gs1::Messages(built.problems));
  return built.elementString;
}

}  // namespace cli

#include "compare/diff_command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  vesk::platform::startProcess();
  return vesk::runDiff(vesk::platform::commandLineArguments(argc, argv));
}

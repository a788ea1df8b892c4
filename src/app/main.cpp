#include "app/command_line.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  vesk::platform::startProcess();
  vesk::startUp();
  return vesk::runCommandLine(argc, argv);
}

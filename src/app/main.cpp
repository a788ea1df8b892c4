#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  vesk::platform::startProcess();
  vesk::startUp();
  const std::vector<std::string> arguments =
      vesk::platform::commandLineArguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments)
    pointers.push_back(argument.c_str());
  return vesk::runCommandLine(static_cast<int>(pointers.size()),
                              pointers.data());
}

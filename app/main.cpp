#include "app/program_entry.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  os::setCommandLine(argc, argv);
  return wWinMain();
}

#include "ui/console/plcfw.h"

int main(int argc, char** argv) {
  return PlcfwMain(argc, argv);
}

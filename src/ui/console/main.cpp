#include "ui/console/plcfw.h"

int main(int argc, char** argv) {
  return plc::PlcfwMain(argc, argv);
}

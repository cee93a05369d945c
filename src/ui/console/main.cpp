#include "ui/console/console.h"

int main(int argc, char** argv) {
  return plc::PlcfwMain(argc, argv);
}

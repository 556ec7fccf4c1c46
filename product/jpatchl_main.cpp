// jpatchl-w32.exe BACKUP DIFF TARGET: the product's diff tool. Exit codes:
// product/delta_apply.h.
#include <iostream>
#include <string>
#include <vector>

#include "product/delta_apply.h"

int main(int argc, char** argv) {
  return BramPatch::RunDiffTool(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}

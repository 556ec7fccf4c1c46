// PakConverter.exe patchapply BACKUP DIFF TARGET: the product's archive
// converter, as far as the patcher uses it. Exit codes: product/delta_apply.h.
#include <iostream>
#include <string>
#include <vector>

#include "product/delta_apply.h"

int main(int argc, char** argv) {
  return BramPatch::RunArchiveTool(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}

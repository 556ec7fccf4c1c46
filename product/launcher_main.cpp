// Launcher.exe: the product's launcher (stand-in). It only says who it is.
// The patcher identifies an installation's build by this file's MD5; sample
// installations append their build number to the program bytes, which the
// program ignores.
#include <iostream>

int main() {
  std::cout << "Launcher.exe: Kestro simulator launcher (stand-in)\n";
  return 0;
}

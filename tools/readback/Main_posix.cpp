#include <string>
#include <vector>

#include "tools/readback/ReadBack.h"

int main(int argc, char** argv) {
  return kv::RunReadBack(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}

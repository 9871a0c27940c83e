// Runs the bootstrap's tree copy once, for the benchmarks:
//   qel_bench_copytree SOURCE DESTINATION
#include <cstdio>
#include <string>

#include "bootstrap/tree_ops.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qel_bench_copytree SOURCE DESTINATION\n");
    return 2;
  }
  return bootstrap::CopyTree(argv[1], std::string(argv[2])) == 0 ? 0 : 1;
}

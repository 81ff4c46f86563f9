// kestrel-render: renders a model headlessly.
#include <cstdio>

int main() {
  std::fprintf(stderr, "kestrel-render: not built yet\n");
  return 2;
}

// Writes a deterministic mesh text to standard output: plausible coordinates with six decimals and
// face indices that fit both the vertex count and 16 bits. The same size and seed give the same
// bytes on every host: only integer arithmetic is involved.
//
//   vorlatic-genmesh VERTICES FACES [SEED] > mesh.msh
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// SplitMix64: tiny, fast and fully specified, so the meshes never depend on a library's engine.
std::uint64_t next(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

void appendInteger(std::string& out, std::uint64_t value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value);
  while (n) out += digits[--n];
}

// A coordinate in [-500, 500) with exactly six decimals.
void appendCoordinate(std::string& out, std::uint64_t& state) {
  std::int64_t micro = std::int64_t(next(state) % 1000000000u) - 500000000;
  if (micro < 0) out += '-';
  std::uint64_t magnitude = std::uint64_t(micro < 0 ? -micro : micro);
  appendInteger(out, magnitude / 1000000);
  out += '.';
  std::uint64_t fraction = magnitude % 1000000;
  for (std::uint64_t scale = 100000; scale; scale /= 10) out += char('0' + fraction / scale % 10);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vorlatic-genmesh VERTICES FACES [SEED]\n");
    return 1;
  }
  std::uint64_t vertices = std::strtoull(argv[1], nullptr, 10);
  std::uint64_t faces = std::strtoull(argv[2], nullptr, 10);
  std::uint64_t state = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  std::uint64_t indexRange = vertices < 65536 ? vertices : 65536;
  if (faces && !indexRange) {
    std::fprintf(stderr, "vorlatic-genmesh: faces need at least one vertex\n");
    return 1;
  }

  std::string out;
  out.reserve(1 << 20);
  auto spill = [&](bool force) {
    if (force || out.size() >= (1 << 20) - 128) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  };
  appendInteger(out, vertices);
  out += ' ';
  appendInteger(out, faces);
  out += '\n';
  for (std::uint64_t i = 0; i < vertices; ++i) {
    appendCoordinate(out, state);
    out += ' ';
    appendCoordinate(out, state);
    out += ' ';
    appendCoordinate(out, state);
    out += '\n';
    spill(false);
  }
  for (std::uint64_t i = 0; i < faces; ++i) {
    for (int k = 0; k < 3; ++k) {
      appendInteger(out, next(state) % indexRange);
      out += k < 2 ? ' ' : '\n';
    }
    spill(false);
  }
  spill(true);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

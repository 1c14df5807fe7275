// Micro-benchmarks of the reader's parts, each reporting bytes of mesh text per second, so that a
// change can see which part it moved.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "meshtext/chunker.h"
#include "meshtext/numbers.h"
#include "meshtext/reader.h"

namespace {

std::uint64_t state = 7;
std::uint64_t next() {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// Coordinates as the mesh generator writes them: six decimals, magnitude below 500.
std::vector<std::string> coordinateTokens(std::size_t n) {
  std::vector<std::string> tokens;
  char text[32];
  for (std::size_t i = 0; i < n; ++i) {
    long long micro = (long long)(next() % 1000000000u) - 500000000;
    std::snprintf(text, sizeof text, "%s%lld.%06lld", micro < 0 ? "-" : "",
                  (micro < 0 ? -micro : micro) / 1000000, (micro < 0 ? -micro : micro) % 1000000);
    tokens.emplace_back(text);
  }
  return tokens;
}

std::vector<std::string> indexTokens(std::size_t n) {
  std::vector<std::string> tokens;
  for (std::size_t i = 0; i < n; ++i) tokens.push_back(std::to_string(next() % 65536));
  return tokens;
}

std::size_t totalBytes(const std::vector<std::string>& tokens) {
  std::size_t bytes = 0;
  for (const auto& t : tokens) bytes += t.size() + 1;
  return bytes;
}

// Tokens three to a line, padded as the chunks hold them.
meshtext::PaddedText paddedText(const std::vector<std::string>& tokens) {
  std::string text;
  for (std::size_t i = 0; i < tokens.size(); ++i) text += tokens[i] + (i % 3 == 2 ? '\n' : ' ');
  return meshtext::PaddedText(text);
}

// The general conversion, as the rare spellings take it.
void coordinateGeneral(benchmark::State& state) {
  auto tokens = coordinateTokens(3 << 15);
  for (auto _ : state)
    for (const auto& t : tokens) benchmark::DoNotOptimize(meshtext::parseCoordinateBits(t));
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK(coordinateGeneral);

// Scanning and converting vertices in place, as the converter does.
void coordinateInPlace(benchmark::State& state) {
  auto tokens = coordinateTokens(3 << 15);
  auto text = paddedText(tokens);
  for (auto _ : state) {
    meshtext::Scanner scanner(text);
    meshtext::Vertex vertex;
    while (scanner.vertex(vertex)) benchmark::DoNotOptimize(vertex.x);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK(coordinateInPlace);

void indexGeneral(benchmark::State& state) {
  auto tokens = indexTokens(3 << 15);
  for (auto _ : state)
    for (const auto& t : tokens) benchmark::DoNotOptimize(meshtext::parseInteger(t));
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK(indexGeneral);

void indexInPlace(benchmark::State& state) {
  auto tokens = indexTokens(3 << 15);
  auto text = paddedText(tokens);
  for (auto _ : state) {
    meshtext::Scanner scanner(text);
    meshtext::Face face;
    while (scanner.face(face)) benchmark::DoNotOptimize(face.index[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK(indexInPlace);

std::string meshText() {
  std::string text = "65536 131072\n";
  auto coordinates = coordinateTokens(3 << 16);
  for (std::size_t i = 0; i < coordinates.size(); ++i)
    text += coordinates[i] + (i % 3 == 2 ? "\n" : " ");
  auto indices = indexTokens(3 << 17);
  for (std::size_t i = 0; i < indices.size(); ++i) text += indices[i] + (i % 3 == 2 ? "\n" : " ");
  return text;
}

// Splitting a stream into tokens one record at a time.
void tokenizer(benchmark::State& state) {
  std::string text = meshText();
  for (auto _ : state) {
    std::stringbuf input(text);
    meshtext::Reader reader(input);
    std::string_view tokens[3];
    while (reader.readTokens(tokens, 3) == 3) benchmark::DoNotOptimize(tokens[2].data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}
BENCHMARK(tokenizer);

// Cutting a stream into chunks of whole records: the part that one thread does at a time.
void chunker(benchmark::State& state) {
  std::string text = meshText();
  for (auto _ : state) {
    std::stringbuf input(text);
    meshtext::Chunker chunks(input);
    meshtext::Counts counts;
    chunks.readCounts(counts);
    meshtext::RecordChunk chunk;
    while (chunks.next(chunk)) benchmark::DoNotOptimize(chunk.records);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}
BENCHMARK(chunker);

}  // namespace

BENCHMARK_MAIN();

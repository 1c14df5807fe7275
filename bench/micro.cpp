// Micro-benchmarks of the reader's parts, each reporting bytes of mesh text per second, so that a
// change can see which part it moved.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "meshtext/batch.h"
#include "meshtext/chunker.h"
#include "meshtext/index.h"
#include "meshtext/mesh.h"
#include "meshtext/numbers.h"
#include "meshtext/reader.h"
#include "meshtext/text.h"

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

// The general conversions, as the rare spellings take them.
template <bool asCoordinates>
void general(benchmark::State& state) {
  auto tokens = asCoordinates ? coordinateTokens(3 << 15) : indexTokens(3 << 15);
  for (auto _ : state)
    for (const auto& t : tokens) {
      if constexpr (asCoordinates)
        benchmark::DoNotOptimize(meshtext::parseCoordinateBits(t));
      else
        benchmark::DoNotOptimize(meshtext::parseInteger(t));
    }
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK_TEMPLATE(general, true)->Name("coordinateGeneral");

// Indexing a block of tokens and converting them a batch at a time, as the converter does, with
// the processor's best instructions and with the portable ones.
template <bool asCoordinates>
void batch(benchmark::State& state) {
  auto tokens = asCoordinates ? coordinateTokens(3 << 15) : indexTokens(3 << 15);
  auto text = paddedText(tokens);
  std::vector<std::uint32_t> starts(meshtext::indexCapacity(text.size())), ends(tokens.size());
  std::vector<std::uint32_t> bits(tokens.size());
  std::vector<std::int32_t> values(tokens.size());
  const auto simd = state.range(0) ? meshtext::bestSimd() : meshtext::Simd::portable;
  for (auto _ : state) {
    const std::size_t n =
        meshtext::indexTokens(text.data(), text.size(), true, starts.data(), simd);
    if (asCoordinates)
      meshtext::coordinateTokens(text.data(), text.size(), starts.data(), n, bits.data(),
                                 ends.data(), simd);
    else
      meshtext::integerTokens(text.data(), text.size(), starts.data(), n, values.data(),
                              ends.data(), simd);
    benchmark::DoNotOptimize(ends.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * totalBytes(tokens)));
}
BENCHMARK_TEMPLATE(batch, true)->Name("coordinateBatch")->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(batch, false)->Name("indexBatch")->Arg(0)->Arg(1);

BENCHMARK_TEMPLATE(general, false)->Name("indexGeneral");

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

// Reading a stream block by block, indexing and cutting each: what a worker does before it
// converts a block.
void blocks(benchmark::State& state) {
  std::string text = meshText();
  for (auto _ : state) {
    std::stringbuf input(text);
    meshtext::BlockReader reader(input);
    meshtext::Counts counts;
    reader.readCounts(counts);
    meshtext::Block block(reader.blockSize());
    struct Ignore : meshtext::BlockConsumer {
      meshtext::Carry carry;
      bool receive(meshtext::Carry& carried) override {
        carried = std::move(carry);
        return true;
      }
      void piece(std::uint64_t, std::size_t, std::string_view, bool) override {}
      void unfinished(std::uint64_t) override {}
      void handOn(meshtext::Carry&& next) override { carry = std::move(next); }
      void records(const meshtext::Block&, const meshtext::Chunk& chunk) override {
        benchmark::DoNotOptimize(chunk.records);
      }
    } ignore;
    while (reader.next(block)) meshtext::cutIntoRecords(block, ignore);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}
BENCHMARK(blocks);

}  // namespace

BENCHMARK_MAIN();

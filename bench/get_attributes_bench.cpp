// The cost of one header reading, as every play and the exit pay it, on a
// canonical file and on one whose tags sit at the far end of the scan
// window. The files are in the folder named by KESTRUNE_BENCH_FILES.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "wave/wave_header.h"

namespace {

void GetAttributesOf(benchmark::State& state, const char* name) {
  const char* folder = std::getenv("KESTRUNE_BENCH_FILES");
  const std::string path = std::string(folder != nullptr ? folder : ".") + "/" + name;
  WaveAttributes attributes;
  for (auto _ : state) {
    GetAttributes(path, attributes);
    benchmark::DoNotOptimize(attributes);
  }
}

BENCHMARK_CAPTURE(GetAttributesOf, canonical, "canonical.wav");
BENCHMARK_CAPTURE(GetAttributesOf, worst_case, "worst-case.wav");

}  // namespace

BENCHMARK_MAIN();

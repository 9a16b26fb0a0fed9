# Object model benchmarks (Google Benchmark): build/release/bin/model_bench
dirclient_benchmark(model_bench LIBS dirclient_lib dirtool_text)

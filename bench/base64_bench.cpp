// SPDX-License-Identifier: Apache-2.0
// Copyright 2026 The lwm2m-launcher authors
//
// Decoder throughput on 64 MiB of base64 in three shapes: one line (as the
// CSV sits in the settings file), 76-column lines, and junk sprinkled in.
// The shipped decoder runs beside the plain one-byte-at-a-time loop.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "base64.h"
#include "base64_test_codec.h"
#include "base64_whole.h"

namespace {

constexpr std::size_t data_size = 64 << 20;

enum shape { one_line, lines_76, junky };

std::string make_text(shape kind) {
    std::mt19937 random(42);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same data every run
    std::string bytes(data_size / 4 * 3, '\0');
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    std::string clean = base64_encode_for_tests(bytes);
    if (kind == one_line) {
        return clean;
    }
    std::string text;
    text.reserve(clean.size() * 9 / 8 + 2);
    constexpr std::string_view junk = " \t\r\n=_*";
    std::size_t next_junk = 1 + random() % 15;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        text += clean[i];
        if (kind == lines_76 && (i + 1) % 76 == 0) {
            text += '\n';
        } else if (kind == junky && --next_junk == 0) {
            text += junk[random() % junk.size()];
            next_junk = 1 + random() % 15;  // one stray byte every 8 digits, on average
        }
    }
    return text;
}

const std::string& text_of(shape kind) {
    static const std::string texts[] = {make_text(one_line), make_text(lines_76), make_text(junky)};
    return texts[kind];
}

template <std::size_t (*decode)(std::string_view, char*)>
void run(benchmark::State& state) {
    const std::string& text = text_of(static_cast<shape>(state.range(0)));
    std::string out(base64_decoded_size_max(text.size()), '\0');
    for (auto _ : state) {
        benchmark::DoNotOptimize(decode(text, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

std::size_t plain_loop(std::string_view text, char* out) {
    return reference_decode(text, out);
}

void shapes(benchmark::internal::Benchmark* b) {
    b->ArgName("shape")->Arg(one_line)->Arg(lines_76)->Arg(junky)->Unit(benchmark::kMillisecond);
}

BENCHMARK(run<base64_decode_whole>)->Name("decode/shipped")->Apply(shapes);
BENCHMARK(run<plain_loop>)->Name("decode/plain_loop")->Apply(shapes);

}  // namespace

BENCHMARK_MAIN();

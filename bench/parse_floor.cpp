// Floors for the sentence parsers, beside their figures in the same run: a loop that
// finds the same fields of the same sentences and converts them with std::from_chars
// and the same conversions (UTM, plane grid, distance), keeping no state but a few
// doubles. BM_ParseGgaFloor is one GGA; BM_FramingAndParsingFloor the whole corpus.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "geo/geo.h"

const std::string& Corpus();  // core_bench.cpp: every log of the receiver corpus

namespace {

struct Floor {
    double lat = 0, lon = 0, fix = 0, sats = 0, alt = 0, speed = 0, course = 0, moved = 0;
    double e = 0, n = 0, ge = 0, gn = 0, seconds = 0;
};

double Number(const char* p, const char* end)
{
    double v = 0.0;
    std::from_chars(p, end, v);
    return v;
}

// Fields of [p, end) split at ','; field[i] and its end fieldEnd[i], up to 10.
int Split(const char* p, const char* end, const char** field, const char** fieldEnd)
{
    int n = 0;
    while (n < 10) {
        const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
        field[n] = p;
        fieldEnd[n++] = comma != nullptr ? comma : end;
        if (comma == nullptr) break;
        p = comma + 1;
    }
    return n;
}

double Degrees(const char* p, const char* end, int digits)
{
    if (end - p <= digits) return 0.0;
    return Number(p, p + digits) + Number(p + digits, end) / 60.0;
}

void Position(Floor& f, const char* const* field, const char* const* fieldEnd, int time, int at)
{
    const double pe = f.e, pn = f.n;
    if (fieldEnd[time] - field[time] >= 6)
        f.seconds = Number(field[time] + 2, field[time] + 4) * 60 + Number(field[time] + 4, field[time] + 6);
    f.lat = Degrees(field[at], fieldEnd[at], 2);
    f.lon = Degrees(field[at + 2], fieldEnd[at + 2], 3);
    const LatitudeTerms latitude = LatitudeTermsOf(f.lat);  // as the parser shares them
    LatLonToUtm(latitude, f.lon, &f.e, &f.n);
    LatLonToGrid(latitude, f.lon, &f.gn, &f.ge);
    f.moved = std::sqrt(std::pow(pe - f.e, 2.0) + std::pow(pn - f.n, 2.0));
}

// One sentence from its '$' to before its '*'.
void Sentence(Floor& f, const char* s, const char* end)
{
    if (end - s < 6) return;
    const char* field[10];
    const char* fieldEnd[10];
    const char* type = s + 3;
    if (std::memcmp(type, "GGA", 3) == 0) {
        if (Split(s, end, field, fieldEnd) < 10) return;
        Position(f, field, fieldEnd, 1, 2);
        f.fix = Number(field[6], fieldEnd[6]);
        f.sats = Number(field[7], fieldEnd[7]);
        f.alt = Number(field[9], fieldEnd[9]);
    } else if (std::memcmp(type, "VTG", 3) == 0) {
        if (Split(s, end, field, fieldEnd) < 8) return;
        f.course = Number(field[1], fieldEnd[1]);
        f.speed = Number(field[7], fieldEnd[7]);
    } else if (std::memcmp(type, "RMC", 3) == 0) {
        if (Split(s, end, field, fieldEnd) < 9) return;
        f.speed = Number(field[7], fieldEnd[7]) * 1.852;
        f.course = Number(field[8], fieldEnd[8]);
    }
}

const char kGga[] = "$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,";

void BM_ParseGgaFloor(benchmark::State& state)
{
    Floor f;
    for (auto _ : state) {
        Sentence(f, kGga, kGga + sizeof kGga - 1);
        benchmark::DoNotOptimize(f);
    }
}
BENCHMARK(BM_ParseGgaFloor);

void BM_FramingAndParsingFloor(benchmark::State& state)
{
    const std::string& bytes = Corpus();
    const char* const end = bytes.data() + bytes.size();
    Floor f;
    for (auto _ : state) {
        const char* p = bytes.data();
        while ((p = static_cast<const char*>(std::memchr(p, '$', static_cast<size_t>(end - p)))) != nullptr) {
            const char* q = p + 1;
            while (q < end && *q != '*' && *q != '\r' && *q != '\n' && *q != '$') ++q;
            if (q < end && *q == '*') Sentence(f, p, q);
            p = q;
        }
        benchmark::DoNotOptimize(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_FramingAndParsingFloor)->Unit(benchmark::kMillisecond);

}  // namespace
